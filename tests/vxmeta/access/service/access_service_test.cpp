// The library against the test key service over HTTPS: started, pointed at the test server and its
// key, it authorizes a password account and a key-pair account by challenge, acquires the private key
// that the service wrapped, passes the access checks, renews an expired token exactly once, runs the
// managed-account and remote-disabled checks, and logs out.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/key_service.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/credentials.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

class AccessOnTheService : public VxMeta::testing::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        service.reset();
        init();
        mdClearAll(false);
        setMds(service.servers.at(0), service.servicePublicKey);
        lastOnlineTime = 0;
        remoteDisabledCache.clear();
        appName = "Reader";
        appVersion = "1.0";
        platformType = "Linux";
        deviceName = "test desk";
    }
    void TearDown() override {
        mdClearAll(false);
        appName.clear();
        appVersion.clear();
        platformType.clear();
        deviceName.clear();
        ServiceTest::TearDown();
    }

    // A new account on the service; its identity and user records become this client's.
    Json::Value newAccount(const Json::Value& spec) {
        Json::Value account = service.call("POST", "/accounts", jsonString(spec));
        EXPECT_TRUE(account.isMember("id")) << jsonString(account);
        LockScope lock(masterMutex);
        EXPECT_TRUE(myPID->update(account["pid"]));
        EXPECT_TRUE(myUser->update(account["user"]));
        return account;
    }
    // The token held for the server the cluster selects (the cluster document lists every instance).
    static std::string serverToken() {
        return getMyClusterServers()->getServerForUrl(getMyClusterEvaluator()->getPrefix())->getAccessToken();
    }
    // Paths of the requests the service logged, in order.
    std::vector<std::string> loggedPaths() const {
        std::vector<std::string> paths;
        for (const Json::Value& entry : service.log()) {
            const std::string path = entry["path"].asString();
            if (!path.ends_with("/etag/0")) paths.push_back(entry["method"].asString() + " " + path.substr(path.find("/api/v1.0/") + 10) + " " + std::to_string(entry["status"].asInt()));
        }
        return paths;
    }
};

TEST_F(AccessOnTheService, PasswordAccountAuthorizesAcquiresItsKeyAndRenewsAnExpiredTokenOnce) {
    Json::Value spec;
    spec["email"] = "pw@example.test";
    spec["password"] = "secret p\u00e4ss";
    spec["rounds"] = 2000;
    const Json::Value account = newAccount(spec);
    const std::string privateKey = base64_decode(account["privateKey"].asString());
    const std::string shash = account["sid"]["id"].asString();

    // The private key, from the secret identity the service wrapped, fetched without a token.
    Credentials& credentials = globalState.credentials;
    credentials.setPassword("secret p\u00e4ss");
    credentials.setParameters(myPID->urn, myUser->loginSalt, myUser->loginRounds, "");
    credentials.acquirePrivateKey();
    EXPECT_EQ(globalState.myPrikey, privateKey);
    EXPECT_EQ(mySID->id, shash);
    EXPECT_TRUE(loggedIn());

    // Challenge authorization: the service checks the signature and the login token.
    VCSR executor;
    authenticateOnTheFly(executor);
    EXPECT_TRUE(serverToken().starts_with("V2 tok-"));
    EXPECT_EQ(executor.authorization, serverToken());
    EXPECT_GT(lastOnlineTime.load(), 0);
    const std::vector<Json::Value> answers = service.requestsTo("/challenge");
    ASSERT_EQ(answers.size(), 1u);
    const Json::Value answer = parseJson(answers[0]["body"].asString());
    EXPECT_EQ(answer["id"].asInt64(), account["id"].asInt64());
    EXPECT_TRUE(answer["loginToken"].asString().starts_with("V2-"));
    EXPECT_FALSE(answers[0]["headers"].isMember("Authorization"));

    // The access checks pass.
    EXPECT_NO_THROW(checkAllAccess(true, true));

    // The token expires: the SID request is refused once, the client authorizes again and reissues it.
    const size_t before = loggedPaths().size();
    EXPECT_EQ(service.call("POST", "/accounts/expire-tokens", "{}")["expired"].asInt(), 1);
    {
        LockScope lock(masterMutex);
        mySID = std::make_shared<SID>();
        globalState.myPrikey.clear();
    }
    credentials.acquirePrivateKey();
    EXPECT_EQ(globalState.myPrikey, privateKey);
    std::vector<std::string> paths = loggedPaths();
    paths.erase(paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(before));
    const std::string sid = "GET sid/" + urlencode(shash) + "/";
    const std::vector<std::string> expected = {
        sid + " 401",
        "GET challenge?urn=" + urlencode(myPID->urn) + " 200",
        "POST challenge 200",
        sid + " 200",
    };
    EXPECT_EQ(paths, expected);
    const std::string renewed = serverToken();
    EXPECT_TRUE(renewed.starts_with("V2 tok-"));
    EXPECT_NO_THROW(checkAllAccess(true, true));

    // Logout: no key, no token.
    logout();
    EXPECT_FALSE(loggedIn());
    EXPECT_EQ(serverToken(), "");
    EXPECT_EQ(credentials.getPassword(), "secret p\u00e4ss");
    EXPECT_THROW(checkAllAccess(true, true), VxMetaException);
}

TEST_F(AccessOnTheService, KeyPairAccountAuthorizesWithItsKeyAndLearnsItsIdByEmail) {
    Json::Value spec;
    spec["email"] = "kp@example.test";
    const Json::Value account = newAccount(spec);
    globalState.myPrikey = base64_decode(account["privateKey"].asString());
    myPID->id = 0;

    VCSR executor;
    EXPECT_EQ(executor.getAccessToken(0, "kp@example.test"), account["id"].asInt64());
    EXPECT_TRUE(serverToken().starts_with("V2 tok-"));
    const Json::Value answer = parseJson(service.requestsTo("/challenge").at(0)["body"].asString());
    EXPECT_FALSE(answer.isMember("loginToken"));
    EXPECT_EQ(answer["email"], "kp@example.test");
    EXPECT_EQ(answer["deviceName"], "test desk");
    EXPECT_NO_THROW(checkAllAccess(true, true));
}

TEST_F(AccessOnTheService, WrongPasswordIsRefusedAndLogsOut) {
    Json::Value spec;
    spec["email"] = "pw@example.test";
    spec["password"] = "right";
    spec["rounds"] = 1000;
    const Json::Value account = newAccount(spec);
    globalState.myPrikey = base64_decode(account["privateKey"].asString());
    Credentials& credentials = globalState.credentials;
    credentials.setPassword("wrong");
    credentials.setSavedPrivateKey(globalState.myPrikey);

    VCSR executor;
    try {
        authenticateOnTheFly(executor);
        FAIL() << "authorized with a wrong password";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_HTTP);
        EXPECT_EQ(e.reason, VXMEREASON_CREDENTIALS);
        EXPECT_EQ(e.httpStatus, 403);
    }
    EXPECT_EQ(serverToken(), "");
    EXPECT_FALSE(loggedIn());
}

TEST_F(AccessOnTheService, SidIsFoundByItsHashEncodedOrNot) {
    Json::Value spec;
    spec["email"] = "pw@example.test";
    spec["password"] = "pw";
    spec["rounds"] = 1000;
    const Json::Value account = newAccount(spec);
    const std::string shash = account["sid"]["id"].asString();
    for (const std::string& id : {urlencode(shash), shash}) {
        SCOPED_TRACE(id);
        VCSR executor;
        SID fetched;
        ASSERT_TRUE(fetched.fromJSON(executor.get("sid/" + id + "/")));
        EXPECT_EQ(fetched.shash, shash);
        EXPECT_EQ(fetched.version, "V3");
    }
}

TEST_F(AccessOnTheService, ManagedAccountCredentialsAreCheckedAgainWhenDue) {
    Json::Value spec;
    spec["email"] = "managed@example.test";
    spec["password"] = "master";
    spec["rounds"] = 1000;
    spec["managedPassword"] = "directory pw";
    const Json::Value account = newAccount(spec);
    globalState.myPrikey = base64_decode(account["privateKey"].asString());
    ASSERT_TRUE(myUser->isManagedAccount);
    myPersists->ma_credential_interval_minutes = 5;
    myPersists->lastManagedLoginTime = 1;

    struct Case {
        const char* password;
        const char* path;
        const char* category; // empty: accepted
    };
    const Case cases[] = {
        {"directory pw", "/ua/loginManagedAccount", ""},
        {"", "/aa/checkCredentials", ""},
        {"not it", "/ua/loginManagedAccount", VXMECAT_LOGIN_REQUIRED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        globalState.myPrikey = base64_decode(account["privateKey"].asString());
        myPersists->lastManagedLoginTime = 1;
        globalState.managedEncPass = *c.password ? encryptMasterKey(c.password, service.servicePublicKey) : "";
        const size_t sent = service.requestsTo(c.path).size();
        try {
            checkAllAccess(true, true);
            EXPECT_STREQ(c.category, "");
            EXPECT_GT(myPersists->lastManagedLoginTime, 1);
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, c.category);
            EXPECT_EQ(e.reason, VXMEREASON_CREDENTIALS);
            EXPECT_EQ(myPersists->lastManagedLoginTime, 1);
        }
        EXPECT_EQ(service.requestsTo(c.path).size(), sent + 1);
    }
}

TEST_F(AccessOnTheService, AccountDisabledOnItsHomeServerEmptiesTheDataset) {
    Json::Value spec;
    spec["email"] = "home@example.test";
    spec["homeServer"] = service.servers.at(0);
    const Json::Value account = newAccount(spec);
    globalState.myPrikey = base64_decode(account["privateKey"].asString());
    myPersists->cmdsPrefix = service.servers.at(0);
    ASSERT_FALSE(myUser->homeServer.empty());

    // Enabled: asked once, nothing changes, and not asked again within 900 s.
    checkRemoteDisabled();
    checkRemoteDisabled();
    EXPECT_EQ(service.requestsTo("checkRemoteUserDisabled?urn=" + urlencode(myPID->urn)).size(), 1u);
    EXPECT_TRUE(loggedIn());

    EXPECT_TRUE(service.call("POST", "/accounts/" + account["id"].asString() + "/update", R"({"enabled":false})")["ok"].asBool());
    remoteDisabledCache.clear();
    try {
        checkRemoteDisabled();
        FAIL() << "the account is still enabled";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_ACCOUNT_DISABLED);
    }
    EXPECT_EQ(myPID->urn, "");
    EXPECT_FALSE(myUser->allow_access);
    EXPECT_FALSE(loggedIn());
}

TEST_F(AccessOnTheService, ExpiredTokenMetByTheClusterTagCheckIsRenewedOnce) {
    // Cluster mode (no fixed server), a token the service has expired, and the cluster tag check due:
    // the check is refused, the client authorizes again without checking the tag a second time,
    // the check is reissued with the new token, and the request that ran it goes through.
    Json::Value spec;
    spec["email"] = "kp@example.test";
    const Json::Value account = newAccount(spec);
    globalState.myPrikey = base64_decode(account["privateKey"].asString());
    VCSR first;
    authenticateOnTheFly(first);
    const std::string stale = serverToken();
    ASSERT_TRUE(stale.starts_with("V2 tok-"));
    ASSERT_EQ(getMyClusterEvaluator()->getClusterServerUrls().size(), service.servers.size());

    EXPECT_EQ(service.call("POST", "/accounts/expire-tokens", "{}")["expired"].asInt(), 1);
    const size_t before = service.log().size();
    getMyClusterEvaluator()->needFetchClusterInfo();
    const std::string check = "ua/checkRemoteUserDisabled" + querySuffix("urn", myPID->urn);
    VCSR request;
    EXPECT_NO_THROW(request.get(check));

    std::vector<std::string> paths;
    const Json::Value log = service.log();
    for (Json::ArrayIndex i = static_cast<Json::ArrayIndex>(before); i < log.size(); ++i) {
        const std::string path = log[i]["path"].asString();
        paths.push_back(log[i]["method"].asString() + " " + path.substr(path.find("/api/v1.0/") + 10) + " " +
                        std::to_string(log[i]["status"].asInt()));
    }
    const std::vector<std::string> expected = {
        "GET etag/0 401",
        "GET challenge?urn=" + urlencode(myPID->urn) + " 200",
        "POST challenge 200",
        "GET etag/0 200",
        "GET " + check + " 200",
    };
    EXPECT_EQ(paths, expected);
    EXPECT_FALSE(getMyClusterEvaluator()->isEtagCheckNeeded());
    const std::string renewed = serverToken();
    EXPECT_TRUE(renewed.starts_with("V2 tok-"));
    EXPECT_NE(renewed, stale);
    EXPECT_EQ(request.authorization, renewed);
}

} // namespace
