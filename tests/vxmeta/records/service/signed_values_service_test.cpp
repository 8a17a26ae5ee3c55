// Values the test key service signs with its own key, read over HTTPS and checked here with the key
// it publishes: deployments, team data of each signed kind, keys of the kinds the service owns and
// application data of the service; a changed "updated_at" breaks exactly the kinds that sign it.
// Also directory look-ups and the deletion of a key with what depends on it, against the service.
#include <cstdlib>
#include <functional>
#include <iterator>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/key_service.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

// The service's public key, as service.json publishes it.
class SignedValuesOnTheService : public VxMeta::testing::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        service.reset();
        getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::Url::newInstance(service.servers.at(0), ""));
        std::string publicKey, privateKey;
        generateRSAKeys(publicKey, privateKey);
        LockScope lock(masterMutex);
        globalState.clear();
        globalState.mdsPubkey = service.servicePublicKey;
        globalState.myPrikey = privateKey;
        myPID->urn = "urn:vx:user/integration";
        myPID->pubkey = publicKey;
    }
    void TearDown() override {
        {
            LockScope lock(masterMutex);
            globalState.clear();
        }
        ServiceTest::TearDown();
    }

    Json::Value make(const std::string& path, const std::string& body) const {
        const Json::Value made = service.call("POST", path, body);
        EXPECT_TRUE(made.isMember("id")) << jsonString(made);
        return made;
    }
};

TEST_F(SignedValuesOnTheService, Deployments) {
    ASSERT_FALSE(service.servicePublicKey.empty());
    const Json::Value made = make("/signed/deployment",
                                  R"({"name":"Reader","platform_type":"Linux","upgrade_info":"{\"url\":\"u\"}",
                                      "version":"2.1"})");
    Deployment deployment;
    deployment.id = made["id"].asInt();
    ASSERT_TRUE(deployment.get());
    EXPECT_EQ(deployment.name, "Reader");
    EXPECT_FALSE(deployment.updated_at.empty());
    EXPECT_TRUE(deployment.verifySignature());

    // Read through the list too.
    RecordListPtr<Deployment> listed = Deployment::queryAll();
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_TRUE(listed->front()->verifySignature());

    const struct {
        const char* name;
        std::function<void(Deployment&)> tamper;
    } tampered[] = {
        {"updated_at", [](Deployment& d) { d.updated_at += "1"; }},
        {"version", [](Deployment& d) { d.version = "2.2"; }},
        {"signature of another deployment", [](Deployment& d) { d.signature = "V2-AAAA"; }},
    };
    for (const auto& t : tampered) {
        Deployment copy = deployment;
        t.tamper(copy);
        EXPECT_FALSE(copy.verifySignature()) << t.name;
    }
    // A wrong service key fails it too.
    {
        LockScope lock(masterMutex);
        globalState.mdsPubkey = myPID->pubkey;
    }
    EXPECT_FALSE(deployment.verifySignature());
}

TEST_F(SignedValuesOnTheService, TeamDataOfEachSignedKind) {
    const struct {
        const char* kind;
        const char* name;
        bool updatedAtSigned;
    } kinds[] = {
        {"ClientPolicy", "Client Policy", false},
        {"Satellite Policy", "Policy", true},
        {"SatelliteX", "Other", true},
        {"Contingency", "Public Key", true},
        {"MFAPolicy", "MFA", true},
    };
    for (const auto& k : kinds) {
        Json::Value spec(Json::objectValue);
        spec["team_id"] = 7;
        spec["kind"] = k.kind;
        spec["name"] = k.name;
        spec["value"] = R"({"skey_flag":3})";
        spec["extra"] = "urn:vx:team/7";
        make("/signed/teamdata", jsonString(spec));
    }
    make("/signed/teamdata", R"({"team_id":7,"kind":"Unsigned","name":"n","value":"v"})");

    RecordListPtr<TeamData> data = TeamData::queryAll();
    ASSERT_EQ(data->size(), std::size(kinds) + 1);
    for (const std::shared_ptr<TeamData>& datum : *data) {
        EXPECT_TRUE(datum->verifySignature()) << datum->kind;
        if (datum->kind == "Unsigned") {
            EXPECT_TRUE(datum->signature.empty());
            continue;
        }
        bool updatedAtSigned = false;
        for (const auto& k : kinds)
            if (datum->kind == k.kind) updatedAtSigned = k.updatedAtSigned;
        TeamData copy = *datum;
        copy.updated_at = "2000-01-01T00:00:00Z";
        EXPECT_EQ(copy.verifySignature(), !updatedAtSigned) << datum->kind;
        copy = *datum;
        copy.value = R"({"skey_flag":31})";
        EXPECT_FALSE(copy.verifySignature()) << datum->kind;
        copy = *datum;
        copy.team_id = 8;
        EXPECT_EQ(copy.verifySignature(), !updatedAtSigned) << datum->kind;
    }
}

TEST_F(SignedValuesOnTheService, KeysAndDataThatTheServiceSigns) {
    const Json::Value community = make(
        "/signed/record/asset", R"({"record":{"owner":"urn:vx:user/integration","name":"Everyone","urn":"community-all",
                                    "object_kind":"community","object_cookie":"all"},"outer":{"homeServer":"h"}})");
    Asset asset;
    asset.id = community["id"].asInt64();
    ASSERT_TRUE(asset.get());
    EXPECT_TRUE(asset.verifySignature());
    EXPECT_EQ(asset.homeServer, "h");
    // The same record claimed as an owner's kind is not the owner's signature.
    Asset claimed = asset;
    claimed.object_kind = "@adhoc";
    EXPECT_FALSE(claimed.verifySignature());

    const Json::Value mds = make("/signed/record/appdata",
                                 R"({"record":{"kind":"MDS","owner":"urn:vx:user/integration","name":"n","value":"v"}})");
    AppData datum;
    datum.id = mds["id"].asInt64();
    ASSERT_TRUE(datum.get());
    EXPECT_TRUE(datum.verifySignature());
}

TEST_F(SignedValuesOnTheService, DirectoryLookUp) {
    // Another user's identity on the service, signed with that user's own key.
    std::string otherPublic, otherPrivate, ownPrivate;
    generateRSAKeys(otherPublic, otherPrivate);
    XPID other;
    other.urn = "urn:vx:user/other";
    other.name = "Other";
    other.pubkey = otherPublic;
    {
        LockScope lock(masterMutex);
        ownPrivate = globalState.myPrikey;
        globalState.myPrikey = otherPrivate;
    }
    ASSERT_TRUE(other.sync());
    {
        LockScope lock(masterMutex);
        globalState.myPrikey = ownPrivate;
    }
    EXPECT_EQ(pubkeyLookupUrn("urn:vx:user/other"), otherPublic);
    ASSERT_EQ(getMyXPIDs()->size(), 1u);
    EXPECT_EQ(getMyXPIDs()->front()->id, other.id);
    EXPECT_TRUE(getMyXPIDs()->front()->verifySignature());
    EXPECT_EQ(pubkeyLookupUrn("urn:vx:user/other"), otherPublic); // from the directory now
    EXPECT_EQ(service.requestsTo("xpid?urn=urn%3Avx%3Auser%2Fother").size(), 1u);

    // An unknown identity: the service answers 404. The check of a record of that signer (a user
    // record, a key request) passes the failure on instead of reading it as a bad signature.
    AssetRequest request;
    request.participant = "urn:vx:user/nobody";
    request.signature = "V2-AAAA";
    request.recordText = "{}";
    User user;
    user.owner = "urn:vx:user/nobody";
    user.signature = "V2-AAAA";
    user.recordText = "{}";
    const std::vector<std::pair<const char*, std::function<bool()>>> checks = {
        {"request", [&] { return request.verifySignature(); }},
        {"user", [&] { return user.verifySignature(); }},
    };
    for (const auto& [name, check] : checks) {
        try {
            static_cast<void>(check());
            ADD_FAILURE() << name << ": a failed look-up was read as a bad signature";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.httpStatus, 404) << name;
        }
    }
}

TEST_F(SignedValuesOnTheService, DeletingAKeyTakesItsRightsAndKeysAlong) {
    auto asset = std::make_shared<Asset>();
    asset->owner = "urn:vx:user/integration";
    asset->urn = "@adhoc-c-urn:vx:user,integration";
    asset->object_kind = "@adhoc";
    ASSERT_TRUE(asset->sync());
    ASSERT_GT(asset->id, 0);
    auto right = std::make_shared<AssetRight>();
    right->asset = asset->urn;
    right->participant = "urn:vx:user/other";
    right->access = "allow";
    right->assetid = asset->id;
    ASSERT_TRUE(right->sync());
    right->assetid = asset->id; // the service's own copy would name it
    {
        LockScope lock(masterMutex);
        myAssets->push_back(asset);
        myRights->push_back(right);
    }
    Asset deleting = *asset;
    ASSERT_TRUE(deleting.del());
    EXPECT_TRUE(getMyAssets()->empty());
    EXPECT_TRUE(getMyRights()->empty());
    EXPECT_EQ(service.requestsTo("asset/" + std::to_string(asset->id) + "/").size(), 1u);
    EXPECT_EQ(service.call("GET", "/records")["etag"].asInt64(), getMyUser()->expectedEtag);
}

} // namespace
