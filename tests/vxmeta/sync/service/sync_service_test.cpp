// The synchronization cycle against the test key service over HTTPS, for a user who signed in with a
// Python-made password account: changes made by "another device" through the service's admin calls
// reach the dataset, an unchanged etag costs no list request, local edits are pushed, deletions
// announced by data memos cascade, bad signatures are reported once and kept, a cycle that fails part
// way is repeated, and the account, device, TDE and site-document rules.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/comm/last_check_domain.h"
#include "vxmeta/access/server_settings.h"
#include "support/key_service.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/sync_cycle.h"

using namespace VxMeta;

namespace {

const char kPassword[] = "cycle pass";

class SyncOnTheService : public VxMeta::testing::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        // One member: the cluster document keeps the client on the server it starts from.
        service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
        setMds(service.servers.at(0), service.servicePublicKey);
        lastOnlineTime = 0;
        remoteDisabledCache.clear();
        lastCheckDomain.clear();
        cacheLoginParameters.clear();
        lastUserLookup.clear();
        appName = "Reader";
        appVersion = "1.0";
        platformType = "Linux";
        deviceName = "test desk";
        {
            std::lock_guard<std::mutex> guard(syncProblemsMutex);
            syncProblems.clear();
        }
        signIn();
    }
    void TearDown() override {
        mdClearAll(false);
        appName.clear();
        appVersion.clear();
        platformType.clear();
        deviceName.clear();
        ServiceTest::TearDown();
    }

    // A Python-made password account, signed in on this fresh device (the account transfer road); the
    // device (not yet registered) is pushed by the first cycle.
    void signIn() {
        Json::Value spec;
        spec["email"] = "cycle@example.test";
        spec["password"] = kPassword;
        spec["rounds"] = 1000;
        account = service.call("POST", "/accounts", jsonString(spec));
        ASSERT_TRUE(account.isMember("id")) << jsonString(account);
        accountId = account["id"].asInt64();
        login("cycle@example.test", kPassword, false);
        ASSERT_TRUE(loggedIn());
        LockScope lock(masterMutex);
        ASSERT_EQ(myPID->id, accountId);
        // Registered by the first cycle's push (the device mapping after the sign-in comes with the API).
        myDevice->platform_type = "Linux";
        myDevice->name = "test desk";
        myDevice->remoteDirty = true;
    }

    // A record made elsewhere ("another device" of this user), signed with the account's key.
    Json::Value addRecord(const std::string& stem, const Json::Value& form, bool signedByUser = true) {
        Json::Value spec;
        spec["form"] = form;
        if (signedByUser) spec["signer"] = Json::Int64(accountId);
        Json::Value stored = service.call("POST", "/sync/records/" + stem, jsonString(spec));
        EXPECT_TRUE(stored.isMember("id")) << jsonString(stored);
        return stored;
    }
    Json::Value assetForm(const std::string& urn, const std::string& name) const {
        Json::Value form;
        form["record"]["owner"] = myPID->urn;
        form["record"]["name"] = name;
        form["record"]["urn"] = urn;
        form["record"]["object_kind"] = "file";
        form["ownerid"] = Json::Int64(accountId);
        return form;
    }
    Json::Value dependentForm(const std::string& assetUrn, int64_t assetId) const {
        Json::Value form;
        form["record"]["asset"] = assetUrn;
        form["record"]["owner"] = myPID->urn;
        form["record"]["participant"] = myPID->urn;
        form["assetid"] = Json::Int64(assetId);
        form["ownerid"] = Json::Int64(accountId);
        form["participantid"] = Json::Int64(accountId);
        return form;
    }

    // "METHOD path" of the requests the service saw since the last mark, without the cluster's own.
    std::vector<std::string> requestsSinceMark() {
        std::vector<std::string> found;
        const Json::Value log = service.log();
        for (Json::ArrayIndex i = logMark; i < log.size(); ++i) {
            std::string path = log[i]["path"].asString();
            path = path.substr(path.find("/api/v1.0/") + 10);
            if (path == "etag/0" || path == "clusterInfo") continue;
            found.push_back(log[i]["method"].asString() + " " + path);
        }
        logMark = log.size();
        return found;
    }
    void markLog() { requestsSinceMark(); }
    static bool anyStartsWith(const std::vector<std::string>& requests, const std::string& prefix) {
        return std::any_of(requests.begin(), requests.end(), [&](const std::string& r) { return r.starts_with(prefix); });
    }
    static std::vector<std::string> problems() {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        std::vector<std::string> messages;
        for (const VxMetaException& e : syncProblems) messages.push_back(e.message);
        return messages;
    }
    template <class T>
    static std::shared_ptr<T> findId(const RecordListPtr<T>& list, int64_t id) {
        LockScope lock(masterMutex);
        for (const auto& r : *list)
            if (r->id == id) return r;
        return nullptr;
    }

    Json::Value account;
    int64_t accountId = 0;
    Json::ArrayIndex logMark = 0;
};

TEST_F(SyncOnTheService, AnotherDevicesChangeArrivesAndAnUnchangedEtagCostsNoListRequest) {
    sync(false);
    EXPECT_TRUE(problems().empty());
    EXPECT_GT(getMyDevice()->id, 0) << "the first cycle registers this device";
    const std::string firstSweep = getMyUser()->last_sweep;
    EXPECT_FALSE(firstSweep.empty());

    markLog();
    sync(false);
    std::vector<std::string> requests = requestsSinceMark();
    EXPECT_EQ(requests, std::vector<std::string>{"GET etag/" + std::to_string(accountId) + "/"});

    const Json::Value asset = addRecord("asset", assetForm("urn:asset/one", "from elsewhere"));
    sync(false);
    requests = requestsSinceMark();
    const std::string since = urlencode(firstSweep);
    EXPECT_TRUE(anyStartsWith(requests, "GET datamemo?max=400&start=1&since=" + since));
    EXPECT_TRUE(anyStartsWith(requests, "GET asset?since=" + since));
    const auto held = findId(getMyAssets(), asset["id"].asInt64());
    ASSERT_TRUE(held);
    EXPECT_EQ(held->name, "from elsewhere");
    EXPECT_EQ(held->verified, 1) << "signed with the user's key";
    EXPECT_TRUE(problems().empty());
    EXPECT_GT(getMyUser()->last_sweep, firstSweep);
    EXPECT_EQ(getMyUser()->expectedEtag, getMyUser()->etag);

    // A change of the same record elsewhere is merged into the held object.
    Json::Value change;
    change["record"]["name"] = "renamed";
    change["signer"] = Json::Int64(accountId);
    service.call("POST", "/sync/records/asset/" + asset["id"].asString() + "/change", jsonString(change));
    sync(false);
    EXPECT_EQ(findId(getMyAssets(), asset["id"].asInt64()), held);
    EXPECT_EQ(held->name, "renamed");
}

TEST_F(SyncOnTheService, ALocalEditIsPushedAndReadBack) {
    sync(false);
    auto datum = std::make_shared<AppData>();
    {
        LockScope lock(masterMutex);
        datum->kind = "note";
        datum->name = "first";
        datum->owner = myPID->urn;
        datum->value = "v1";
        datum->deviceid = myDevice->id;
        myUser->authenticated = true; // a verified user pushes its lists at the start of a cycle
        myAppDatas->push_back(datum);
    }
    markLog();
    sync(false);
    EXPECT_TRUE(anyStartsWith(requestsSinceMark(), "POST appdata/"));
    EXPECT_GT(datum->id, 0);
    EXPECT_FALSE(datum->remoteDirty);

    {
        LockScope lock(masterMutex);
        datum->value = "v2";
        datum->changed();
    }
    sync(false);
    EXPECT_TRUE(anyStartsWith(requestsSinceMark(), "PUT appdata/" + std::to_string(datum->id) + "/"));
    const Json::Value stored = service.call("GET", "/records")["records"]["appdata"];
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]["record"]["value"].asString(), "v2");

    // Read back whole: the held record stays, unchanged, valid.
    sync(true);
    ASSERT_EQ(getMyAppDatas()->size(), 1u);
    EXPECT_EQ(getMyAppDatas()->at(0), datum);
    EXPECT_EQ(datum->value, "v2");
    EXPECT_EQ(datum->verified, 1);
}

TEST_F(SyncOnTheService, ADeletedKeyLeavesWithWhatDependsOnItExceptUnsentChanges) {
    sync(false);
    const Json::Value gone = addRecord("asset", assetForm("urn:asset/gone", "gone"));
    const Json::Value stays = addRecord("asset", assetForm("urn:asset/stays", "stays"));
    const int64_t goneId = gone["id"].asInt64();
    const Json::Value right = addRecord("assetright", dependentForm("urn:asset/gone", goneId));
    Json::Value keyForm = dependentForm("urn:asset/gone", goneId);
    keyForm["record"]["keysequence"] = 1;
    const Json::Value key = addRecord("assetkey", keyForm);
    const Json::Value request = addRecord("assetrequest", dependentForm("urn:asset/gone", goneId));
    Json::Value featureForm = dependentForm("urn:asset/gone", goneId);
    featureForm["record"]["name"] = "f";
    const Json::Value feature = addRecord("assetfeature", featureForm);
    Json::Value editedForm = dependentForm("urn:asset/gone", goneId);
    editedForm["record"]["participant"] = "urn:someone";
    const Json::Value edited = addRecord("assetright", editedForm);
    const Json::Value otherRight = addRecord("assetright", dependentForm("urn:asset/stays", stays["id"].asInt64()));
    sync(false);
    ASSERT_EQ(getMyAssets()->size(), 2u);
    ASSERT_EQ(getMyRights()->size(), 3u);

    // An unsent local change of one right.
    {
        LockScope lock(masterMutex);
        findId(getMyRights(), edited["id"].asInt64())->changed();
    }
    service.call("POST", "/sync/records/asset/" + gone["id"].asString() + "/delete", "{}");
    markLog();
    sync(false);
    EXPECT_TRUE(anyStartsWith(requestsSinceMark(), "GET datamemo?"));

    EXPECT_FALSE(findId(getMyAssets(), goneId));
    EXPECT_TRUE(findId(getMyAssets(), stays["id"].asInt64()));
    EXPECT_FALSE(findId(getMyRights(), right["id"].asInt64()));
    EXPECT_FALSE(findId(getMyKeys(), key["id"].asInt64()));
    EXPECT_FALSE(findId(getMyRequests(), request["id"].asInt64()));
    EXPECT_FALSE(findId(getMyFeatures(), feature["id"].asInt64()));
    EXPECT_TRUE(findId(getMyRights(), edited["id"].asInt64())) << "unsent changes are never removed";
    EXPECT_TRUE(findId(getMyRights(), otherRight["id"].asInt64()));
}

TEST_F(SyncOnTheService, ARecordWithABadSignatureGivesOneProblemAndIsKept) {
    sync(false);
    Json::Value form = assetForm("urn:asset/forged", "forged");
    form["signature"] = "V2-AAAA";
    const Json::Value forged = addRecord("asset", form, false);
    markLog();
    sync(false);
    const std::string path = "asset/" + forged["id"].asString() + "/";
    EXPECT_EQ(problems(), std::vector<std::string>{"Invalid signature on " + path});
    const std::vector<std::string> requests = requestsSinceMark();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "GET " + path), 1) << "read again once";
    const auto held = findId(getMyAssets(), forged["id"].asInt64());
    ASSERT_TRUE(held);
    EXPECT_EQ(held->verified, 2);
}

TEST_F(SyncOnTheService, ARefreshThatFailsPartWayIsRepeatedByTheNextCycle) {
    sync(false);
    addRecord("asset", assetForm("urn:asset/a", "a"));
    const User before = *getMyUser();
    Json::Value fault;
    fault["kind"] = "status";
    fault["status"] = 400;
    fault["body"] = "{\"Message\":\"refused\"}";
    fault["path"] = "assetkey?since";
    fault["count"] = 1;
    service.fault(fault);
    markLog();
    EXPECT_THROW(sync(false), VxMetaException);
    EXPECT_EQ(getMyUser()->last_sweep, before.last_sweep);
    EXPECT_EQ(getMyUser()->expectedEtag, before.expectedEtag);
    std::vector<std::string> requests = requestsSinceMark();
    EXPECT_TRUE(anyStartsWith(requests, "GET asset?since=" + urlencode(before.last_sweep)));
    EXPECT_FALSE(anyStartsWith(requests, "GET assetfeature"));

    sync(false);
    requests = requestsSinceMark();
    EXPECT_TRUE(anyStartsWith(requests, "GET datamemo?max=400&start=1&since=" + urlencode(before.last_sweep)));
    EXPECT_TRUE(anyStartsWith(requests, "GET assetkey?since=" + urlencode(before.last_sweep)));
    EXPECT_TRUE(anyStartsWith(requests, "GET assetfeature?since="));
    EXPECT_GT(getMyUser()->last_sweep, before.last_sweep);
    EXPECT_EQ(getMyAssets()->size(), 1u);
}

TEST_F(SyncOnTheService, ChangedCredentialsLogOutWith403) {
    Json::Value token;
    token["sproxy"] = "first";
    service.call("POST", "/sync/user/" + std::to_string(accountId), jsonString(token));
    sync(false);
    EXPECT_EQ(getMyUser()->sproxy, "first");
    token["sproxy"] = "second";
    service.call("POST", "/sync/user/" + std::to_string(accountId), jsonString(token));
    try {
        sync(false);
        ADD_FAILURE() << "no failure";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_HTTP);
        EXPECT_EQ(e.httpStatus, 403);
        EXPECT_EQ(e.reason, VXMEREASON_CREDENTIALS);
        EXPECT_EQ(e.message, "Credentials no longer match");
    }
    EXPECT_FALSE(loggedIn());
}

TEST_F(SyncOnTheService, AnUnreadableUserReplyIsNoCredentialChange) {
    Json::Value token;
    token["sproxy"] = "first";
    service.call("POST", "/sync/user/" + std::to_string(accountId), jsonString(token));
    sync(false);
    ASSERT_EQ(getMyUser()->sproxy, "first");
    const User before = *getMyUser();
    // A 200 that is not the user's record answers the user fetch: an object without the signed record
    // (a proxy's own JSON) goes by, a body that is blank or not JSON (a proxy's page, a cut-off body)
    // ends the cycle with the request layer's failure. Neither is a change of credentials.
    const struct {
        const char* kind;
        const char* body;
        const char* failure; // empty: the cycle ends normally
    } cases[] = {
        {"status", "{}", ""},
        {"status", "{\"Message\":\"ok\"}", ""},
        {"blank", "", VXMECAT_PROTOCOL},
        {"malformed", "", VXMECAT_PROTOCOL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.body);
        Json::Value fault;
        fault["kind"] = c.kind;
        if (std::string(c.kind) == "status") {
            fault["status"] = 200;
            fault["body"] = c.body;
        }
        fault["path"] = "user/" + std::to_string(accountId) + "/";
        fault["count"] = 1;
        service.fault(fault);
        try {
            sync(true);
            EXPECT_STREQ(c.failure, "");
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, c.failure) << e.message;
        }
        EXPECT_TRUE(loggedIn());
        EXPECT_EQ(getMyUser()->sproxy, "first");
        EXPECT_EQ(getMyUser()->authenticated, before.authenticated) << "the held user record is kept";
        EXPECT_EQ(getMyUser()->recordText, before.recordText);
    }
    // The next reply that is read still tells a real change.
    token["sproxy"] = "second";
    service.call("POST", "/sync/user/" + std::to_string(accountId), jsonString(token));
    EXPECT_THROW(sync(true), VxMetaException);
    EXPECT_FALSE(loggedIn());
}

TEST_F(SyncOnTheService, ADeviceTheServiceDisabledIsLoggedOut) {
    sync(false);
    const int64_t deviceId = getMyDevice()->id;
    ASSERT_GT(deviceId, 0);
    service.call("POST", "/sync/device/" + std::to_string(deviceId), "{\"enabled\":false}");
    try {
        sync(false);
        ADD_FAILURE() << "no failure";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_DEVICE_NOT_ALLOWED);
        EXPECT_EQ(e.message, "This device has been disabled.");
    }
    EXPECT_FALSE(loggedIn());
    EXPECT_FALSE(getMyDevice()->allow_access);
}

TEST_F(SyncOnTheService, ATdeAgentRefreshesItsSubsetAndReportsCompliance) {
    {
        LockScope lock(masterMutex);
        globalState.tdeAgentMode = true;
    }
    markLog();
    sync(true);
    const std::vector<std::string> requests = requestsSinceMark();
    for (const char* skipped : {"GET xpid", "GET assetrequest", "GET contingency", "GET mfapair"})
        EXPECT_FALSE(anyStartsWith(requests, skipped)) << skipped;
    for (const char* refreshed : {"GET app?deviceid=", "GET asset", "GET assetright", "GET assetkey", "GET assetfeature",
                                  "GET appdata?deviceid=", "GET teamdata", "GET upload"})
        EXPECT_TRUE(anyStartsWith(requests, refreshed)) << refreshed;
    const Json::Value reports = service.call("GET", "/sync/tde");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["etag"].asInt(), getMyUser()->expectedEtag);
}

TEST_F(SyncOnTheService, ASiteDocumentWithABadSignatureIsIgnoredAndFetchedAgain) {
    sync(false);
    const std::string good = getMyPersists()->siteData;
    ASSERT_FALSE(good.empty());
    Json::Value change;
    change["changes"]["pollingInterval"] = 120;
    change["badSignature"] = true;
    service.call("POST", "/sync/sitedata", jsonString(change));
    for (int cycle = 0; cycle < 2; ++cycle) {
        markLog();
        sync(false);
        EXPECT_TRUE(anyStartsWith(requestsSinceMark(), "GET ua/siteData")) << cycle;
        EXPECT_EQ(getMyPersists()->siteData, good);
        EXPECT_EQ(getMyPersists()->pollingInterval, 60);
    }
    change["badSignature"] = false;
    change["changes"]["gtag"] = 7;
    service.call("POST", "/sync/sitedata", jsonString(change));
    sync(false);
    EXPECT_EQ(getMyPersists()->pollingInterval, 120);
    EXPECT_EQ(getMyPersists()->gtag, 7);
    markLog();
    sync(false);
    EXPECT_FALSE(anyStartsWith(requestsSinceMark(), "GET ua/siteData"));
}

TEST_F(SyncOnTheService, LockerConfigurationFollowsItsTagWhileLockerSupportIsOn) {
    {
        LockScope lock(masterMutex);
        myPersists->lockerActive = true;
    }
    Json::Value locker;
    locker["platform"] = "Linux";
    locker["config"]["ltag"] = 3;
    locker["config"]["lockers"] = "on";
    locker["ltag"] = 3;
    service.call("POST", "/sync/locker", jsonString(locker));
    markLog();
    sync(false);
    EXPECT_TRUE(anyStartsWith(requestsSinceMark(), "GET aa/archiveLockerConfig?platform=Linux"));
    EXPECT_EQ(getMyPersists()->ltag, 3);
    EXPECT_EQ(parseJson(getMyPersists()->lockerConfig)["lockers"].asString(), "on");
    sync(false);
    EXPECT_FALSE(anyStartsWith(requestsSinceMark(), "GET aa/archiveLockerConfig"));

    locker["ltag"] = 0; // withdrawn: "{}" without a request
    service.call("POST", "/sync/locker", jsonString(locker));
    service.call("POST", "/sync/memo", "{\"memo_kind\":\"note\"}");
    sync(false);
    EXPECT_FALSE(anyStartsWith(requestsSinceMark(), "GET aa/archiveLockerConfig"));
    EXPECT_EQ(getMyPersists()->lockerConfig, "{}");
    EXPECT_EQ(getMyPersists()->ltag, 0);
}

TEST_F(SyncOnTheService, ALockerTagThatIsNotAnIntegerCostsOneRequest) {
    {
        LockScope lock(masterMutex);
        myPersists->lockerActive = true;
    }
    Json::Value locker;
    locker["platform"] = "Linux";
    locker["config"]["ltag"] = "7";
    locker["config"]["lockers"] = "on";
    locker["ltag"] = 7;
    service.call("POST", "/sync/locker", jsonString(locker));
    markLog();
    sync(false);
    EXPECT_TRUE(anyStartsWith(requestsSinceMark(), "GET aa/archiveLockerConfig?platform=Linux"));
    EXPECT_EQ(parseJson(getMyPersists()->lockerConfig)["lockers"].asString(), "on");
    EXPECT_EQ(getMyPersists()->ltag, 7) << "taken as the tag it was fetched for";
    for (int cycle = 0; cycle < 2; ++cycle) {
        service.call("POST", "/sync/memo", "{\"memo_kind\":\"note\"}");
        sync(false);
        EXPECT_FALSE(anyStartsWith(requestsSinceMark(), "GET aa/archiveLockerConfig")) << cycle;
    }
}

} // namespace
