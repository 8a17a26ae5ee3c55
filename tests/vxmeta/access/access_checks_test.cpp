// The access checks over the in-process transport and a manual clock: the order of the gate, the
// offline limit, the managed-account credential check, the remote-disabled check and its cache, the
// online time, logout, the login-change marker and the synchronization problems.
#include <array>
#include <atomic>
#include <thread>
#include <functional>
#include <set>

#include "support/access_fixture.h"

#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/accounts/scope_login_changing.h"
#include "vxmeta/api/application_status_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/user.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using namespace VxMetaTest;

namespace {

// Answers requests whose URL contains `path` with `reply`, every other request with 200 "{}".
void answer(const std::string& path, FakeReply reply) {
    FakeTransport::install([=](const CommIO& io) {
        return io.url.find(path) != std::string::npos ? reply : FakeReply{};
    });
}

// The exchanges whose URL contains `path`.
std::vector<CommIO> requestsTo(const std::string& path) {
    std::vector<CommIO> found;
    for (const CommIO& io : FakeTransport::exchanges())
        if (io.url.find(path) != std::string::npos) found.push_back(io);
    return found;
}

// The failure of `operation`; a test failure when it succeeds.
VxMetaException failureOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const VxMetaException& e) {
        return e;
    }
    ADD_FAILURE() << "no failure";
    return VxMetaException("", "");
}

class AccessChecks : public AccessTest {
protected:
    void SetUp() override {
        AccessTest::SetUp();
        lastOnlineTime = kStart;
    }
    HostIdentity host; // built before SetUp, restored after TearDown
    static void setOfflineLimit(int32_t hours, int64_t secondsOffline) {
        myPersists->offline_access_hours = hours;
        lastOnlineTime = kStart - secondsOffline;
    }
    // A logged-in managed account whose credential check is due.
    static void managedAccountDue(const std::string& encryptedPassword) {
        logIn();
        myPID->email = "me@example.test";
        myUser->isManagedAccount = true;
        myPersists->ma_credential_interval_minutes = 10;
        myPersists->lastManagedLoginTime = kStart - 601;
        globalState.managedEncPass = encryptedPassword;
    }
};

TEST_F(AccessChecks, GateChecksInOrderAndStopsAtTheFirstFailure) {
    struct Case {
        const char* what;
        bool deviceAllowed;
        bool loggedIn;
        int64_t secondsOffline;
        bool checkOffline;
        bool mustLogin;
        const char* category; // empty: passes
        bool loggedOutAfter;
    };
    const Case cases[] = {
        {"nothing to check", true, false, 0, false, false, "", false},
        {"logged in", true, true, 0, true, true, "", false},
        {"device disabled", false, true, 0, true, true, VXMECAT_DEVICE_NOT_ALLOWED, true},
        {"device before login", false, false, 90000, true, true, VXMECAT_DEVICE_NOT_ALLOWED, true},
        {"nobody logged in", true, false, 0, true, true, VXMECAT_LOGIN_REQUIRED, false},
        {"login before the offline limit", true, false, 90000, true, true, VXMECAT_LOGIN_REQUIRED, false},
        {"offline too long", true, true, 90000, true, true, VXMECAT_CLIENT_REFRESH, true},
        {"offline limit not asked for", true, true, 90000, false, true, "", false},
        {"offline limit without login", true, false, 90000, true, false, VXMECAT_CLIENT_REFRESH, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mdClearAll(false);
        myDevice->allow_access = c.deviceAllowed;
        if (c.loggedIn) logIn();
        setOfflineLimit(24, c.secondsOffline);
        try {
            checkAllAccess(c.checkOffline, c.mustLogin);
            EXPECT_STREQ(c.category, "");
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, c.category);
        }
        EXPECT_EQ(globalState.myPrikey.empty(), c.loggedOutAfter || !c.loggedIn);
    }
    EXPECT_TRUE(FakeTransport::exchanges().empty());
    const VxMetaException device = failureOf([] {
        myDevice->allow_access = false;
        checkDeviceAllowed();
    });
    EXPECT_EQ(device.message, "This device has been disabled.");
    EXPECT_EQ(failureOf([] { mustBeLoggedIn(); }).message, "Must be logged in");
}

TEST_F(AccessChecks, OfflineLimitIsExceededOnlyAfterItsLastSecond) {
    struct Case {
        int32_t hours;
        int64_t secondsOffline;
        bool expired;
    };
    const Case cases[] = {
        {0, 10'000'000, false}, {24, 86'399, false}, {24, 86'400, false}, {24, 86'401, true}, {1, 3'601, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hours) + " h, " + std::to_string(c.secondsOffline) + " s");
        logIn();
        setOfflineLimit(c.hours, c.secondsOffline);
        EXPECT_EQ(offlineAccessExpired(), c.expired);
        if (c.expired) {
            const VxMetaException e = failureOf([] { checkAllAccess(true, true); });
            EXPECT_EQ(e.category, VXMECAT_CLIENT_REFRESH);
            EXPECT_EQ(e.message, "Maximum offline access time exceeded - must communicate with server.");
            EXPECT_FALSE(loggedIn());
        } else {
            EXPECT_NO_THROW(checkAllAccess(true, true));
            EXPECT_TRUE(loggedIn());
        }
    }
}

TEST_F(AccessChecks, CredentialCheckIsDueOnlyForAManagedAccountAfterItsInterval) {
    managedAccountDue("");
    EXPECT_TRUE(maCredentialCheckRequired());
    myPersists->lastManagedLoginTime = kStart - 600;
    EXPECT_FALSE(maCredentialCheckRequired());
    myPersists->lastManagedLoginTime = kStart - 601;
    myPersists->ma_credential_interval_minutes = 0;
    EXPECT_FALSE(maCredentialCheckRequired());
    myPersists->ma_credential_interval_minutes = 10;
    myUser->isManagedAccount = false;
    EXPECT_FALSE(maCredentialCheckRequired());
    // Not due, or nobody logged in: no request.
    performCredentialCheck();
    myUser->isManagedAccount = true;
    globalState.myPrikey.clear();
    performCredentialCheck();
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(AccessChecks, CredentialCheckAskedAndAccepted) {
    struct Case {
        const char* encryptedPassword;
        const char* path;
        bool implicitAuth;
        const char* members; // the body's members besides the device and application
    };
    const Case cases[] = {
        {"", "/api/v1.0/aa/checkCredentials", true, "{}"},
        {"V2-wrapped|V4-pw", "/api/v1.0/ua/loginManagedAccount", false,
         R"({"email":"me@example.test","justChecking":true,"password":"V2-wrapped|V4-pw"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        mdClearAll(false);
        FakeTransport::exchanges().clear();
        managedAccountDue(c.encryptedPassword);
        lastOnlineTime = kStart - 50;
        clock->advanceSeconds(1);
        const int64_t now = clock->nowSeconds();
        checkAllAccess(true, true);
        const std::vector<CommIO> sent = requestsTo(c.path);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].method, "POST");
        EXPECT_EQ(sent[0].implicitAuth, c.implicitAuth);
        EXPECT_EQ(sent[0].headers.count("Authorization"), 0u);
        EXPECT_TRUE(endswith(bodyText(sent[0]), "\n"));
        Json::Value body = bodyJson(sent[0]);
        for (const char* name : {"appName", "appVersion", "platform", "deviceName"}) body.removeMember(name);
        EXPECT_EQ(jsonString(body), jsonString(json(c.members)));
        EXPECT_EQ(globalState.managedEncPass, c.encryptedPassword);
        EXPECT_EQ(myPersists->lastManagedLoginTime, now);
        EXPECT_EQ(myPersists->lastOnlineTime, now);
        EXPECT_EQ(lastOnlineTime.load(), now);
        // Checked: not due again within the interval.
        checkAllAccess(true, true);
        EXPECT_EQ(requestsTo(c.path).size(), 1u);
    }
}

TEST_F(AccessChecks, CredentialCheckRefusalsAndCommunicationFailures) {
    // "Incorrect Credentials" asks for a new login, keeping what the service said.
    managedAccountDue("V2-wrapped|V4-pw");
    const std::string refusal = R"({"Message":"Wrong password","reason":"Incorrect Credentials"})";
    answer("ua/loginManagedAccount", FakeReply(403, refusal));
    VxMetaException e = failureOf([] { checkAllAccess(true, true); });
    EXPECT_EQ(e.category, VXMECAT_LOGIN_REQUIRED);
    EXPECT_EQ(e.message, "Wrong password");
    EXPECT_EQ(e.reason, VXMEREASON_CREDENTIALS);
    EXPECT_EQ(e.httpStatus, 403);
    EXPECT_EQ(e.response, refusal);
    EXPECT_FALSE(loggedIn()); // the reply rules logged out

    // Another refusal passes unchanged.
    managedAccountDue("V2-wrapped|V4-pw");
    answer("ua/loginManagedAccount", FakeReply(400, R"({"Message":"Bad","reason":"Other"})"));
    e = failureOf([] { performCredentialCheck(); });
    EXPECT_EQ(e.category, VXMECAT_HTTP);
    EXPECT_EQ(e.reason, "Other");

    // A communication failure counts as a check made, and nothing is thrown.
    managedAccountDue("V2-wrapped|V4-pw");
    answer("ua/loginManagedAccount", FakeReply(0, "", "Device is most likely offline"));
    myPersists->localDirty = false;
    EXPECT_NO_THROW(checkAllAccess(false, true));
    EXPECT_EQ(myPersists->lastManagedLoginTime, kStart);
    EXPECT_TRUE(myPersists->localDirty);
    EXPECT_TRUE(loggedIn());
    const size_t sent = requestsTo("ua/loginManagedAccount").size();
    clock->advanceSeconds(600);
    checkAllAccess(false, true);
    EXPECT_EQ(requestsTo("ua/loginManagedAccount").size(), sent);
}

class RemoteDisabled : public AccessChecks {
protected:
    void SetUp() override {
        AccessChecks::SetUp();
        setMdsPubkey(serviceKeys().publicKey);
        logIn("urn:vx:user/me");
        myUser->homeServer = "https://home.example";
        myPersists->cmdsPrefix = "https://central.example/mds";
        lastOnlineTime = kStart - 900;
    }
    static std::string signedReply(const std::string& record, const std::string& signer = serviceKeys().privateKey) {
        Json::Value reply;
        reply["record"] = record;
        reply["signature"] = signTextOther(record, signer);
        return jsonString(reply);
    }
};

TEST_F(RemoteDisabled, SignedDisabledRecordEmptiesTheDataset) {
    answer("ua/checkRemoteUserDisabled", FakeReply(200, signedReply(R"({"enabled":false,"urn":"urn:vx:user/me"})")));
    const VxMetaException e = failureOf([] { checkRemoteDisabled(); });
    EXPECT_EQ(e.category, VXMECAT_ACCOUNT_DISABLED);
    EXPECT_EQ(e.message, "Account has been disabled");
    EXPECT_EQ(myPID->urn, "");
    EXPECT_FALSE(myUser->allow_access);
    EXPECT_EQ(servicePublicKey(), cmdsPubkey);
    const std::vector<CommIO> sent = requestsTo("checkRemoteUserDisabled");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].url, "https://central.example/mds/api/v1.0/ua/checkRemoteUserDisabled?urn=" + urlencode("urn:vx:user/me"));
}

TEST_F(RemoteDisabled, AnyOtherReplyChangesNothing) {
    KeyPair other;
    generateRSAKeys(other.publicKey, other.privateKey);
    const std::string disabled = R"({"enabled":false,"urn":"urn:vx:user/me"})";
    const std::string replies[] = {
        signedReply(disabled, other.privateKey),
        signedReply(R"({"enabled":false,"urn":"urn:vx:user/other"})"),
        signedReply(R"({"enabled":true,"urn":"urn:vx:user/me"})"),
        signedReply(R"({"enabled":"false","urn":"urn:vx:user/me"})"),
        signedReply("not json"),
        signedReply("[1]"),
        R"({"record":{"enabled":false,"urn":"urn:vx:user/me"},"signature":"V2-x"})",
        R"({"record":")" + std::string("x") + R"(","signature":7})",
        R"({"signature":"V2-x"})",
        R"([1,2])",
        R"({})",
    };
    for (const std::string& reply : replies) {
        SCOPED_TRACE(reply);
        remoteDisabledCache.clear();
        answer("ua/checkRemoteUserDisabled", FakeReply(200, reply));
        EXPECT_NO_THROW(checkRemoteDisabled());
        EXPECT_EQ(requestsTo("checkRemoteUserDisabled").size(), 1u);
        EXPECT_EQ(myPID->urn, "urn:vx:user/me");
        EXPECT_EQ(globalState.myPrikey, userKeys().privateKey);
    }
}

TEST_F(RemoteDisabled, AskedOnlyWhenDueAndAtMostOncePer900Seconds) {
    // Online less than 900 s ago, or no home server: no request.
    lastOnlineTime = kStart - 899;
    checkRemoteDisabled();
    lastOnlineTime = kStart - 900;
    myUser->homeServer.clear();
    checkRemoteDisabled();
    EXPECT_TRUE(requestsTo("checkRemoteUserDisabled").empty());

    // A failed request counts too: the communication failure is swallowed, and the next 900 s ask nothing.
    myUser->homeServer = "https://home.example";
    myPersists->cmdsPrefix.clear();
    FakeReply reply(0, "", "Device is most likely offline");
    FakeTransport::install([&](const CommIO&) { return reply; });
    EXPECT_NO_THROW(checkRemoteDisabled());
    const std::vector<CommIO> sent = requestsTo("checkRemoteUserDisabled");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(startswith(sent[0].url, VCSR::CMDS_URL->baseUrl.c_str()));
    clock->advanceSeconds(899);
    checkRemoteDisabled();
    EXPECT_EQ(requestsTo("checkRemoteUserDisabled").size(), 1u);
    clock->advanceSeconds(1);
    reply = FakeReply(200, "{}");
    checkRemoteDisabled();
    EXPECT_EQ(requestsTo("checkRemoteUserDisabled").size(), 2u);

    // Failures other than communication pass.
    clock->advanceSeconds(900);
    reply = FakeReply(400, R"({"Message":"no"})");
    EXPECT_EQ(failureOf([] { checkRemoteDisabled(); }).category, VXMECAT_HTTP);
}

TEST_F(AccessChecks, OnlineTimeReachesTheStateRecordAtMostOncePer900Seconds) {
    updateOnlineTime(false);
    EXPECT_EQ(lastOnlineTime.load(), kStart);
    EXPECT_EQ(myPersists->lastOnlineTime, kStart);
    myPersists->localDirty = false;

    clock->advanceSeconds(900);
    updateOnlineTime(false);
    EXPECT_EQ(lastOnlineTime.load(), kStart + 900);
    EXPECT_EQ(myPersists->lastOnlineTime, kStart);
    EXPECT_FALSE(myPersists->localDirty);

    clock->advanceSeconds(1);
    updateOnlineTime(false);
    EXPECT_EQ(myPersists->lastOnlineTime, kStart + 901);
    EXPECT_TRUE(myPersists->localDirty);

    // Past the offline limit, every contact is stored.
    myPersists->offline_access_hours = 1;
    myPersists->localDirty = false;
    clock->advanceSeconds(3601);
    updateOnlineTime(false);
    myPersists->localDirty = false;
    clock->advanceSeconds(1);
    EXPECT_FALSE(offlineAccessExpired());
    lastOnlineTime = kStart;
    updateOnlineTime(false);
    EXPECT_EQ(myPersists->lastOnlineTime, clock->nowSeconds());
    EXPECT_TRUE(myPersists->localDirty);
    EXPECT_TRUE(beenOfflineFor(0));
    EXPECT_FALSE(beenOfflineFor(1));
}

TEST_F(AccessChecks, LogoutForgetsKeysTokensAndStatusesAndKeepsTheRest) {
    logIn();
    globalState.teamGroupPrikey = "team key";
    globalState.credentials.setPassword("pw");
    globalState.managedEncPass = "wrapped";
    const TarvexProtocol::UrlPtr a = TarvexProtocol::Url::newInstance("https://a.example", "");
    const TarvexProtocol::UrlPtr b = TarvexProtocol::Url::newInstance("https://b.example", "");
    getMyClusterServers()->getServerForUrl(a)->setAccessToken("V2 a");
    getMyClusterServers()->getServerForUrl(b)->setAccessToken("V2 b");
    std::shared_ptr<ApplicationStatus> status = getMyApplicationStatusManager()->registerApplicationStatus("k", "1", "urn:r");
    EXPECT_EQ(getMyApplicationStatusManager()->registerApplicationStatus("k", "2", "urn:r"), status);
    EXPECT_TRUE(loggedIn());

    logout();

    EXPECT_FALSE(loggedIn());
    EXPECT_EQ(globalState.myPrikey, "");
    EXPECT_EQ(globalState.teamGroupPrikey, "");
    EXPECT_EQ(getMyClusterServers()->getServerForUrl(a)->getAccessToken(), "");
    EXPECT_EQ(getMyClusterServers()->getServerForUrl(b)->getAccessToken(), "");
    EXPECT_NE(getMyApplicationStatusManager()->registerApplicationStatus("k", "3", "urn:r"), status);
    EXPECT_EQ(globalState.credentials.getPassword(), "pw");
    EXPECT_EQ(globalState.managedEncPass, "wrapped");
    EXPECT_EQ(myPID->urn, "urn:vx:user/own");
    EXPECT_EQ(ScopeLoginChanging::active, 0);
    EXPECT_EQ(failureOf([] { getMyApplicationStatusManager()->registerApplicationStatus("", "1", "u"); }).message,
              "kind may not be empty");
}

TEST_F(AccessChecks, LoginChangeHidesTheLoggedInUser) {
    logIn();
    {
        ScopeLoginChanging change;
        EXPECT_FALSE(loggedIn());
        {
            ScopeLoginChanging nested;
            nested.dispose();
            nested.dispose();
            EXPECT_EQ(ScopeLoginChanging::active, 1);
        }
        EXPECT_FALSE(ScopeLoginChanging::loggedIn());
    }
    EXPECT_EQ(ScopeLoginChanging::active, 0);
    EXPECT_TRUE(loggedIn());
}

TEST_F(AccessChecks, OnlineModeFailsForADisabledDeviceAndInIsolatedMode) {
    logIn();
    globalState.isolatedMode = true;
    VxMetaException e = failureOf([] { verifyOnlineMode(); });
    EXPECT_EQ(e.category, VXMECAT_ISOLATED_MODE);
    EXPECT_EQ(e.message, "Operation cannot be performed in isolated mode");
    EXPECT_TRUE(loggedIn());
    myDevice->allow_access = false;
    EXPECT_EQ(failureOf([] { verifyOnlineMode(); }).category, VXMECAT_DEVICE_NOT_ALLOWED);
    EXPECT_FALSE(loggedIn());
    // The request pipeline asks before every request.
    VCSR executor;
    EXPECT_EQ(failureOf([&] { executor.get("x"); }).category, VXMECAT_DEVICE_NOT_ALLOWED);
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(AccessChecks, LogoutAndTheChecksMayRunOnTwoThreads) {
    logIn();
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            loggedIn();
            globalState.credentials.getPassword();
            offlineAccessExpired();
            addSyncProblem(VxMetaException(VXMECAT_PROTOCOL, "p"));
        }
    });
    for (int i = 0; i < 200; ++i) {
        logout();
        globalState.credentials.setPassword("pw" + std::to_string(i % 3));
        updateOnlineTime(false);
        LockScope lock(masterMutex);
        globalState.myPrikey = userKeys().privateKey;
    }
    stop = true;
    reader.join();
    EXPECT_TRUE(loggedIn());
    EXPECT_EQ(ScopeLoginChanging::active, 0);
    EXPECT_LE(RawVorlane().getSyncProblems().size(), 100u);
}

TEST_F(AccessChecks, SyncProblemsKeepTheFirstHundredAndAreHandedOutOnce) {
    for (int i = 0; i < 150; ++i) addSyncProblem(VxMetaException(VXMECAT_PROTOCOL, "problem " + std::to_string(i)));
    RawVorlane api;
    const std::vector<VxMetaException> problems = api.getSyncProblems();
    ASSERT_EQ(problems.size(), 100u);
    EXPECT_EQ(problems.front().message, "problem 0");
    EXPECT_EQ(problems.back().message, "problem 99");
    EXPECT_TRUE(api.getSyncProblems().empty());
}

TEST_F(AccessChecks, ExpectedEtagAndSidUrl) {
    myUser->expectedEtag = 4;
    incrementEtag();
    EXPECT_EQ(myUser->expectedEtag, 5);
    EXPECT_EQ(makeSIDURL("https://s/sid", "V2-a+b/c="), "https://s/sid/V2-a%2Bb%2Fc%3D/");
}

TEST_F(AccessChecks, AccountRequestBodyNamesTheDeviceOnlyForItsOwner) {
    const std::string savedName = deviceName;
    deviceName = "desk";
    myDevice->id = 12;
    myDevice->owner = "urn:owner";
    myDevice->urn = "LIN-1";
    Action own;
    own.encodeDeviceAppPlatformInfo("urn:owner");
    own.encode("flag", true);
    own.encode("text", "t");
    own.encode("text", "replaced");
    EXPECT_EQ(json(own.toJson())["deviceId"], 12);
    EXPECT_FALSE(json(own.toJson()).isMember("deviceName"));
    EXPECT_EQ(json(own.toJson())["text"], "replaced");
    EXPECT_TRUE(endswith(own.toJson(), "}\n"));

    Action other;
    other.encodeDeviceAppPlatformInfo("urn:someone else");
    EXPECT_EQ(json(other.toJson())["deviceName"], "desk");
    EXPECT_FALSE(json(other.toJson()).isMember("deviceId"));
    EXPECT_EQ(myDevice->id, 0);
    EXPECT_EQ(myDevice->urn, "");
    EXPECT_EQ(Action().toJson(), "null\n");
    deviceName = savedName;
}

} // namespace
