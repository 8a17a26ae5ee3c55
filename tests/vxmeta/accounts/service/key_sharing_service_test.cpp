// Sharing managed keys end to end against the test key service over HTTPS, three users each seeing
// only their own part of the service: a refused user files exactly one access request; the owner
// answers it and grants another user by address; a revocation starts a new key revision that the
// revoked user cannot open while the others can; a renewed request is answered "allow"; the owner
// renames and deletes the key and every participant's next cycle drops it. Python opens what the
// client wrapped. Refusals of guest accounts arrive as one aggregate failure.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "managed_keys_fixture.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/library_reset.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/access_requests.h"
#include "vxmeta/accounts/cache_query.h"
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
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/sync_cycle.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;

namespace {

class KeySharingOnTheService : public VxMeta::testing::ManagedKeysServiceTest {
protected:
    // Under the master lock: the records of the dataset list that belong to the key.
    template <class T>
    static size_t heldFor(const RecordListPtr<T>& list, const std::string& urn) {
        LockScope lock(masterMutex);
        return static_cast<size_t>(std::count_if(list->begin(), list->end(), [&](const std::shared_ptr<T>& record) {
            return record->asset == urn;
        }));
    }
    static std::shared_ptr<AssetRequest> requestFor(const std::string& urn) {
        LockScope lock(masterMutex);
        for (const std::shared_ptr<AssetRequest>& request : *myRequests)
            if (request->asset == urn) return request;
        return nullptr;
    }
};

TEST_F(KeySharingOnTheService, RequestGrantRevokeAskAgainRenameDelete) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    const Json::Value c = person("c@example.test");

    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    const std::string material1 = made.getEncryptionKey()->decryptKeyMaterial();
    const std::string metadata1 = metadataFor(a["urn"].asString(), urn, 1);

    // B may not use the key: the refusal comes after exactly one access request was filed.
    signInAs(b, true);
    {
        SingleAssetManager refused;
        const VxMetaException failure = thrownBy([&] { refused.getDecryptionKeyMaterial(metadata1, false); });
        EXPECT_EQ(failure.httpStatus, 403);
        EXPECT_EQ(failure.reason, VXMEREASON_NO_RIGHT);
    }
    EXPECT_EQ(requestsTo("POST assetrequest/"), 1u);
    ASSERT_EQ(stored("assetrequest", "asset", urn).size(), 1u);

    // A answers B's request on the loaded key and grants C by address; the pass gives both revision 1.
    signInAs(a, true);
    {
        SingleAssetManager owned;
        owned.fullFetch(urn);
        std::shared_ptr<AssetRequest> request;
        {
            LockScope lock(masterMutex);
            ASSERT_EQ(owned.requests->size(), 1u);
            request = owned.requests->front();
        }
        owned.respondToRequest(request, "allow");
        LockScope lock(masterMutex);
        EXPECT_TRUE(owned.requests->empty());
        EXPECT_EQ(request->status, "answered");
    }
    RawVorlane api;
    api.updateAssetAccess(urn, {" C@Example.test "}, true);
    EXPECT_TRUE(stored("assetrequest", "asset", urn).empty()) << "answered by the right";
    const std::string ownWrapped1 = storedKey(urn, a, 1);
    for (const Json::Value* participant : {&b, &c})
        EXPECT_EQ(sameSession(a["privateKey"].asString(), ownWrapped1, (*participant)["privateKey"].asString(),
                              storedKey(urn, *participant, 1)),
                  "valid\n")
            << (*participant)["email"].asString();
    const RecordListPtr<XPID> participants = api.getAssetParticipants(urn);
    std::vector<std::string> emails;
    for (const std::shared_ptr<XPID>& view : *participants) emails.push_back(view->email);
    EXPECT_EQ(emails, (std::vector<std::string>{"b@example.test", "c@example.test"}));

    signInAs(b, false);
    {
        SingleAssetManager opened;
        EXPECT_EQ(opened.getDecryptionKeyMaterial(metadata1, false), material1);
    }

    // A revokes B: A's revision 2 follows, C gets it, B gets nothing of it.
    signInAs(a, true);
    api.updateAssetAccess(urn, {"b@example.test"}, false);
    const std::string ownWrapped2 = storedKey(urn, a, 2);
    ASSERT_FALSE(ownWrapped2.empty());
    EXPECT_TRUE(storedKey(urn, b, 2).empty());
    EXPECT_EQ(sameSession(a["privateKey"].asString(), ownWrapped2, c["privateKey"].asString(), storedKey(urn, c, 2)),
              "valid\n");
    std::string material2;
    {
        SingleAssetManager owned;
        owned.partialFetch(urn, true, false);
        material2 = owned.getEncryptionKey()->decryptKeyMaterial();
        EXPECT_EQ(owned.getEncryptionKey()->keysequence, 2);
    }
    EXPECT_NE(material2, material1);
    const std::string metadata2 = metadataFor(a["urn"].asString(), urn, 2);

    signInAs(c, false);
    {
        SingleAssetManager opened;
        EXPECT_EQ(opened.getDecryptionKeyMaterial(metadata2, false), material2);
    }
    signInAs(b, false);
    {
        SingleAssetManager refused;
        const VxMetaException failure = thrownBy([&] { refused.getDecryptionKeyMaterial(metadata2, false); });
        EXPECT_EQ(failure.httpStatus, 403);
    }

    // B, on a fresh device, asks twice: one request is filed. A answers "allow"; B opens revision 2.
    signInAs(b, false);
    const size_t filed = requestsTo("POST assetrequest/");
    askForAsset(metadata2);
    askForAsset(metadata2);
    EXPECT_EQ(requestsTo("POST assetrequest/"), filed + 1);
    signInAs(a, true);
    const std::shared_ptr<AssetRequest> renewed = requestFor(urn);
    ASSERT_TRUE(renewed);
    respondToRequest(renewed, "allow");
    // The next cycles send the right, then the revisions the pass gives B.
    sync(false);
    sync(false);
    EXPECT_EQ(sameSession(a["privateKey"].asString(), ownWrapped2, b["privateKey"].asString(), storedKey(urn, b, 2)),
              "valid\n");
    signInAs(b, false);
    {
        SingleAssetManager opened;
        EXPECT_EQ(opened.getDecryptionKeyMaterial(metadata2, false), material2);
    }

    // A renames the key (blanks around the current name send nothing), then deletes it.
    signInAs(a, true);
    const size_t puts = requestsTo("PUT asset/");
    api.changeAssetName(urn, "  Plans ");
    EXPECT_EQ(requestsTo("PUT asset/"), puts);
    api.changeAssetName(urn, " Old plans ");
    ASSERT_EQ(stored("asset", "urn", urn).size(), 1u);
    EXPECT_EQ(stored("asset", "urn", urn)[0]["record"]["name"].asString(), "Old plans");
    api.deleteAsset(urn);
    EXPECT_TRUE(stored("asset", "urn", urn).empty());
    EXPECT_TRUE(stored("assetkey", "asset", urn).empty());
    EXPECT_EQ(heldFor(myKeys, urn), 0u);
    EXPECT_FALSE(findAssetByURN(urn));

    EXPECT_EQ(heldFor(myRights, urn), 0u);
    for (const Json::Value* participant : {&b, &c}) {
        signInAs(*participant, true);
        EXPECT_FALSE(findAssetByURN(urn)) << (*participant)["email"].asString();
    }
}

TEST_F(KeySharingOnTheService, AParticipantsDatasetDropsADeletedKeyOnItsNextCycle) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    RawVorlane api;
    api.updateAssetAccess(urn, {"b@example.test"}, true);

    signInAs(b, true);
    ASSERT_TRUE(findAssetByURN(urn));
    EXPECT_EQ(heldFor(myKeys, urn), 1u);
    EXPECT_EQ(heldFor(myRights, urn), 1u);

    // A's other device deletes the key; B's next cycle drops it with its rights and revisions.
    Json::Value doomed;
    doomed["urn"] = urn;
    admin("/keys/delete", doomed);
    sync(false);
    EXPECT_FALSE(findAssetByURN(urn));
    EXPECT_EQ(heldFor(myKeys, urn), 0u);
    EXPECT_EQ(heldFor(myRights, urn), 0u);
}

TEST_F(KeySharingOnTheService, RefusedAddressesArriveAsOneAggregateFailure) {
    const Json::Value a = person("a@example.test");
    person("b@other.test");
    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    RawVorlane api;

    struct Case {
        const char* refusal;
        std::vector<std::string> emails;
        const char* message;
    };
    const Case cases[] = {
        // Messages that agree before their ":" make one; the addresses sorted, each with a line end.
        {"Guest Account", {"z@nowhere.test", "B@other.test"},
         "Guest accounts cannot share keys with:\nB@other.test\nz@nowhere.test\n"},
        // The whole message.
        {"Guest Account Internal Only", {"b@other.test"},
         "Guest accounts can share keys only inside example.test, not with b@other.test:\nb@other.test\n"},
        {"Isolated Server", {"y@nowhere.test"}, "This server is isolated and cannot share keys with:\ny@nowhere.test\n"},
    };
    for (const Case& c : cases) {
        Json::Value refusal;
        refusal["refusal"] = c.refusal;
        admin("/people/" + a["id"].asString() + "/sharing", refusal);
        const VxMetaException failure = thrownBy([&] { api.updateAssetAccess(urn, c.emails, true); });
        EXPECT_EQ(failure.category, VXMECAT_AGGREGATE_ERROR_LIST) << c.refusal;
        EXPECT_EQ(std::string(failure.what()), c.message) << c.refusal;
        EXPECT_TRUE(failure.reason.empty());
    }
    EXPECT_TRUE(stored("assetright", "asset", urn).empty());

    // Two different messages: the general text.
    Json::Value internal;
    internal["refusal"] = "Guest Account Internal Only";
    admin("/people/" + a["id"].asString() + "/sharing", internal);
    SingleAssetManager owned;
    owned.fullFetch(urn);
    const VxMetaException mixed = thrownBy([&] { owned.setAccessToList({"x@else.test", "b@other.test"}, "allow"); });
    EXPECT_EQ(mixed.category, VXMECAT_AGGREGATE_ERROR_LIST);
    EXPECT_EQ(std::string(mixed.what()), "Your account cannot share keys with:\nb@other.test\nx@else.test\n");

    // A blank address ends the list there: the first address is shared, the third is not touched.
    admin("/people/" + a["id"].asString() + "/sharing", Json::Value(Json::objectValue));
    const VxMetaException blank =
        thrownBy([&] { owned.setAccessToList({"New@Nowhere.test", "  ", "later@nowhere.test"}, "allow"); });
    EXPECT_EQ(blank.category, VXMECAT_CLIENT);
    EXPECT_EQ(std::string(blank.what()), "Email cannot be blank");
    const std::vector<Json::Value> rights = stored("assetright", "asset", urn);
    ASSERT_EQ(rights.size(), 1u);
    EXPECT_EQ(rights[0]["record"]["participant"].asString(), "email!new@nowhere.test");
    // The address again in another case finds that right.
    owned.setAccessByEmail("NEW@nowhere.TEST", "deny");
    ASSERT_EQ(stored("assetright", "asset", urn).size(), 1u);
    EXPECT_EQ(stored("assetright", "asset", urn)[0]["record"]["access"].asString(), "deny");
}

TEST_F(KeySharingOnTheService, TheOwnerIsNeverDeniedAndKeepsItsRevisions) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    const Json::Value c = person("c@example.test");
    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    RawVorlane api;
    api.updateAssetAccess(urn, {"b@example.test"}, true);

    const VxMetaException refused = thrownBy([&] { api.updateAssetAccess(urn, {"A@example.test"}, false); });
    EXPECT_EQ(refused.category, VXMECAT_CLIENT);
    EXPECT_EQ(std::string(refused.what()), "The key's owner cannot be denied access");
    EXPECT_FALSE(storedKey(urn, a, 1).empty());
    EXPECT_TRUE(storedKey(urn, a, 2).empty()) << "no revision for a refused change";

    // The whole list: C joins, B leaves, the owner's own address is in neither list.
    api.setAssetAccess(urn, {"c@example.test", "a@example.test"});
    for (const Json::Value& form : stored("assetright", "asset", urn)) {
        const std::string participant = form["record"]["participant"].asString();
        EXPECT_NE(participant, a["urn"].asString());
        EXPECT_EQ(form["record"]["access"].asString(), participant == b["urn"].asString() ? "deny" : "allow");
    }
    EXPECT_FALSE(storedKey(urn, a, 2).empty());
    EXPECT_FALSE(storedKey(urn, c, 2).empty());
    SingleAssetManager owned;
    owned.partialFetch(urn, true, false);
    EXPECT_EQ(owned.getEncryptionKey()->keysequence, 2);
    ASSERT_TRUE(owned.getKey(1)) << "the owner keeps its first revision";
}

} // namespace
