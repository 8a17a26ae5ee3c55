// Managed keys end to end against the test key service over HTTPS, with users that each see only
// their own part of the service: A makes a key and encrypts with it; B, given access by A's other
// device, loads the key from archive key metadata and gets the same key material; a user without
// access gets the service's refusal; a member of the team's contingency group gets the material
// through the contingency key that Python made. The personal key is made once per account; key
// features are set, changed and deleted on the service. Python opens what the client wrapped.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "managed_keys_fixture.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/asset_features.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/key_material.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/last_check_domain.h"
#include "support/key_service.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/sync_cycle.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;

namespace {

const char kTeam[] = "urn:vx:team/keys";

class ManagedKeysOnTheService : public VxMeta::testing::ManagedKeysServiceTest {};

TEST_F(ManagedKeysOnTheService, ArchiveKeyMetadataBecomesTheSameKeyMaterialForEveryoneWhoMayUseTheKey) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    const Json::Value c = person("c@example.test");
    const Json::Value d = person("d@example.test");
    const Json::Value personal = personalKeyOf(a);
    Json::Value spec;
    spec["urn"] = kTeam;
    const Json::Value team = admin("/teams", spec);
    const std::string teamPath = "/teams/" + team["id"].asString();

    // A makes a key: the asset and its first revision reach the service at once.
    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    EXPECT_EQ(urn.compare(0, 7, "@adhoc-"), 0);
    const std::vector<Json::Value> assets = stored("asset", "urn", urn);
    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0]["record"]["name"].asString(), "Plans");
    const std::vector<Json::Value> revisions = stored("assetkey", "asset", urn);
    ASSERT_EQ(revisions.size(), 1u);
    EXPECT_EQ(revisions[0]["record"]["keysequence"].asInt(), 1);
    const std::shared_ptr<AssetKey> encryptWith = made.getEncryptionKey();
    ASSERT_TRUE(encryptWith);
    EXPECT_EQ(encryptWith->keysequence, 1);
    const std::string material = encryptWith->decryptKeyMaterial();
    ASSERT_EQ(material.size(), 44u);

    // A reads its own archive back.
    const std::string metadata = metadataFor(a["urn"].asString(), urn, 1);
    SingleAssetManager own;
    EXPECT_EQ(own.getDecryptionKeyMaterial(metadata, false), material);

    // A's other device gives B access; A's next cycle issues B's revision.
    allow(a, urn, b);
    sync(false);
    std::string ownWrapped, issuedWrapped;
    for (const Json::Value& form : stored("assetkey", "asset", urn)) {
        if (form["record"]["participant"] == a["urn"]) ownWrapped = form["record"]["keymaterial"].asString();
        if (form["record"]["participant"] == b["urn"]) issuedWrapped = form["record"]["keymaterial"].asString();
    }
    ASSERT_FALSE(issuedWrapped.empty());
    EXPECT_EQ(sameSession(a["privateKey"].asString(), ownWrapped, b["privateKey"].asString(), issuedWrapped),
              "valid\n");

    // B has not synchronized: the key comes from the service, by its URN.
    signInAs(b, false);
    SingleAssetManager opened;
    EXPECT_EQ(opened.getDecryptionKeyMaterial(metadata, false), material);
    EXPECT_EQ(requestsTo("GET asset?urn="), 1u);
    EXPECT_EQ(requestsTo("GET assetkey?asseturn="), 1u);
    EXPECT_EQ(opened.getEncryptionKeyFor(urn), opened.getKey(1));

    // C may not use the key: the service's refusal reaches the caller.
    signInAs(c, false);
    SingleAssetManager refused;
    const VxMetaException failure = thrownBy([&] { refused.getDecryptionKeyMaterial(metadata, false); });
    EXPECT_EQ(failure.httpStatus, 403);
    EXPECT_EQ(failure.reason, VXMEREASON_NO_RIGHT);
    EXPECT_EQ(requestsTo("GET asset?urn="), 2u);
    EXPECT_EQ(requestsTo("GET contingencykey?keyinfo="), 0u);

    // D holds the team's contingency master key; Python made A's contingency key for the team.
    Json::Value member;
    member["account"] = d["id"];
    admin(teamPath + "/member", member);
    admin(teamPath + "/contingency-group", member);
    admin(teamPath + "/contingency-master-key", member);
    Json::Value contingency;
    contingency["account"] = a["id"];
    contingency["keysequence"] = 1;
    contingency["session"] = personal["session"];
    admin(teamPath + "/contingency-key", contingency);
    signInAs(d, true);
    SingleAssetManager recovered;
    EXPECT_EQ(recovered.getDecryptionKeyMaterial(metadata, false), material);
    EXPECT_EQ(requestsTo("GET contingencykey?keyinfo=" + urlencode(urn + ":1")), 1u);
}

TEST_F(ManagedKeysOnTheService, TheContingencyKeyOfAPersonalKeyIsItsOwnMaterial) {
    const Json::Value a = person("a@example.test");
    const Json::Value d = person("d@example.test");
    const Json::Value personal = personalKeyOf(a);
    Json::Value spec;
    spec["urn"] = kTeam;
    const Json::Value team = admin("/teams", spec);
    const std::string teamPath = "/teams/" + team["id"].asString();
    Json::Value member;
    member["account"] = d["id"];
    admin(teamPath + "/member", member);
    admin(teamPath + "/contingency-master-key", member);
    Json::Value contingency;
    contingency["account"] = a["id"];
    contingency["keysequence"] = 1;
    contingency["session"] = personal["session"];
    admin(teamPath + "/contingency-key", contingency);

    signInAs(d, true);
    const std::string urn = personal["asset"]["record"]["urn"].asString();
    EXPECT_EQ(getContingencyKey(urn + ":1", false), personal["session"].asString());
    SingleAssetManager manager;
    EXPECT_EQ(manager.getDecryptionKeyMaterial(urn + ":1", false), personal["session"].asString());

    // Without the master key the service refuses the contingency key too.
    signInAs(a, false);
    const VxMetaException failure = thrownBy([&] { getContingencyKey(urn + ":1", false); });
    EXPECT_EQ(failure.httpStatus, 403);
    EXPECT_EQ(failure.reason, VXMEREASON_NO_RIGHT);
}

TEST_F(ManagedKeysOnTheService, ThePersonalKeyIsMadeOncePerAccount) {
    const Json::Value a = person("a@example.test");
    signInAs(a, true);
    const std::string urn = "priv--" + urnsafe(a["urn"].asString());
    std::vector<Json::Value> personal = stored("asset", "object_kind", "priv");
    ASSERT_EQ(personal.size(), 1u);
    EXPECT_EQ(personal[0]["record"]["urn"].asString(), urn);
    EXPECT_EQ(personal[0]["record"]["name"].asString(), "Personal Orvanel");
    EXPECT_EQ(stored("assetkey", "asset", urn).size(), 1u);
    {
        LockScope lock(masterMutex);
        ASSERT_TRUE(globalState.personalKey);
        EXPECT_EQ(globalState.personalKey->asset, urn);
    }
    sync(false);
    sync(true);
    signInAs(a, true);
    EXPECT_EQ(stored("asset", "object_kind", "priv").size(), 1u);
    EXPECT_EQ(requestsTo("POST asset/"), 1u);

    // Keys made now are wrapped under it too.
    RawVorlane api;
    const std::shared_ptr<Asset> made = api.createAsset("Report", "file", "cookie-1");
    ASSERT_TRUE(made);
    EXPECT_EQ(made->urn, "file-cookie-1-" + urnsafe(a["urn"].asString()));
    const std::vector<Json::Value> revisions = stored("assetkey", "asset", made->urn);
    ASSERT_EQ(revisions.size(), 1u);
    EXPECT_EQ(revisions[0]["record"]["ckeymaterial"].asString().compare(0, 5, "V3-1-"), 0);
    EXPECT_EQ(api.getAsset(made->urn + ":1", true, false), made) << "the dataset's own record";

    // Another device loads it from the service.
    signInAs(a, false);
    const std::shared_ptr<Asset> loaded = api.getAsset(made->urn, false, false);
    ASSERT_TRUE(loaded);
    EXPECT_NE(loaded, made);
    EXPECT_EQ(loaded->name, "Report");
}

TEST_F(ManagedKeysOnTheService, FeaturesAreSetChangedAndDeletedOnTheService) {
    const Json::Value a = person("a@example.test");
    personalKeyOf(a);
    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();

    setAssetFeature(urn, "Deleted Lockers", "Reader", "ReadOnly", "1");
    std::vector<Json::Value> features = stored("assetfeature", "asset", urn);
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0]["record"]["compatibility"].asString(), "ReadOnly");
    SingleAssetManager loaded;
    loaded.partialFetch(urn, true, false);
    loaded.setAssetFeature("Deleted Lockers", "READER", "Optional", "2");
    features = stored("assetfeature", "asset", urn);
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0]["record"]["value"].asString(), "2");
    EXPECT_EQ(requestsTo("PUT assetfeature/"), 1u);

    delAssetFeature(urn, "Deleted Lockers", "reader");
    EXPECT_TRUE(stored("assetfeature", "asset", urn).empty());
    EXPECT_FALSE(getAssetFeature(urn, "Deleted Lockers", "reader"));
}

} // namespace
