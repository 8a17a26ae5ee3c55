// Managed and implicit accounts and the satellite policy against the test key service over HTTPS:
// the directory password and the one-time key that the client wraps open in Python, the account's
// password comes back under that key and the sign-in proceeds with it; another account's device is
// detached before the request; refusals keep or forget the managed password; the operating-system
// user signs in; the organisation's policy is read before sign-in and checked.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/accounts/service/account_service_fixture.h"

using namespace VxMeta;
using VxMeta::testing::failureOf;

namespace {

const std::string kDirectoryPassword = "directory \u00df secret";

class ManagedAccountsOnTheService : public VxMeta::testing::AccountServiceTest {
protected:
    void SetUp() override {
        AccountServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        // The first service serves the test domain with its own key (a domain it serves without
        // naming a server is served with the built-in key, whose private half no test service has).
        nameServer("", "example.test", service.servers.at(0), service.servicePublicKey);
    }
    Json::Value managedState() const { return service.call("GET", "/managed"); }
    void osUser(const std::string& email, int teamId = 0) const {
        Json::Value spec;
        spec["email"] = email;
        spec["team_id"] = teamId;
        EXPECT_TRUE(service.call("POST", "/managed/os-user", jsonString(spec))["ok"].asBool());
    }
    int64_t nowSeconds() const { return clock->nowSeconds(); }

    RawVorlane api;
};

TEST_F(ManagedAccountsOnTheService, SignsInWithThePasswordTheServiceHoldsAndPythonOpensWhatWasWrapped) {
    const Json::Value account = newAccount("mia@example.test", "", kDirectoryPassword);
    newAccount("plain@example.test");
    EXPECT_TRUE(api.checkManagedAccount("mia@example.test"));
    EXPECT_FALSE(api.checkManagedAccount("plain@example.test"));

    // In another letter case: the service names the address, and the sign-in uses its name.
    cacheLoginParameters.clear();
    api.loginManagedAccount("MIA@example.test", kDirectoryPassword, false);
    EXPECT_TRUE(loggedIn());
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));
    EXPECT_EQ(api.getPassword(), kPassword); // the account's own password, handed out by the service
    EXPECT_EQ(myPID->email, "mia@example.test");

    const Json::Value opened = managedState();
    ASSERT_EQ(opened["passwords"].size(), 1u);
    EXPECT_EQ(opened["passwords"][0].asString(), kDirectoryPassword);
    ASSERT_EQ(opened["oneTimeKeys"].size(), 1u);
    EXPECT_EQ(base64_decode(opened["oneTimeKeys"][0].asString()).size(), 32u);

    const Json::Value sent = lastBody("ua/loginManagedAccount");
    EXPECT_EQ(sent["email"].asString(), "MIA@example.test");
    EXPECT_EQ(globalState.managedEncPass, sent["password"].asString());
    EXPECT_EQ(myPersists->lastManagedLoginTime, nowSeconds());
    EXPECT_EQ(myPersists->lastOnlineTime, nowSeconds());
    for (const Json::Value& request : service.requestsTo("ua/loginManagedAccount"))
        EXPECT_FALSE(request["headers"].isMember("Authorization")) << "sent with an access token";

    // A reply without "email": the address that was passed signs in.
    Json::Value withoutEmail;
    withoutEmail["replyWithEmail"] = false;
    service.call("POST", "/managed/settings", jsonString(withoutEmail));
    logout();
    api.loginManagedAccount("Mia@Example.test", kDirectoryPassword, false);
    EXPECT_TRUE(loggedIn());
    const std::vector<Json::Value> asked = service.requestsTo("ua/loginParameters/?email=Mia%40Example.test");
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(ManagedAccountsOnTheService, AnotherAccountsDeviceIsDetachedBeforeTheRequest) {
    const Json::Value other = newAccount("old@example.test");
    holdOnDevice(other);
    {
        LockScope lock(masterMutex);
        myDevice->id = 42;
        myDevice->owner = other["urn"].asString();
        myDevice->ownerid = other["id"].asInt64();
        myXPIDs->push_back(std::make_shared<XPID>());
    }
    const Json::Value account = newAccount("mia@example.test", "", kDirectoryPassword);

    api.loginManagedAccount("mia@example.test", kDirectoryPassword, false);
    const Json::Value sent = lastBody("ua/loginManagedAccount");
    EXPECT_FALSE(sent.isMember("deviceId"));
    EXPECT_EQ(sent["deviceName"].asString(), "test desk");
    EXPECT_FALSE(lastBody("ua/accountTransfer").isMember("deviceId"));

    // The transfer found another account: the dataset started empty, and the managed password and
    // the contact times were kept for the new one.
    EXPECT_EQ(myPID->urn, account["urn"].asString());
    EXPECT_TRUE(myXPIDs->empty());
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));
    EXPECT_EQ(globalState.managedEncPass, sent["password"].asString());
    EXPECT_EQ(myPersists->lastManagedLoginTime, nowSeconds());
}

TEST_F(ManagedAccountsOnTheService, ACommunicationFailureKeepsTheManagedPasswordAndARefusalForgetsIt) {
    const Json::Value account = newAccount("mia@example.test", "", kDirectoryPassword);
    holdOnDevice(account); // a managed account: its user record says so
    ASSERT_TRUE(myUser->isManagedAccount);

    const std::string wrong = api.encryptAccountPassword("not the directory password");
    const VxMetaException refused =
        failureOf([&] { api.loginManagedAccountEncPass("mia@example.test", wrong, false); });
    EXPECT_EQ(refused.reason, VXMEREASON_CREDENTIALS);
    EXPECT_TRUE(globalState.managedEncPass.empty());
    EXPECT_FALSE(loggedIn());

    const std::string wrapped = api.encryptAccountPassword(kDirectoryPassword);
    Json::Value down;
    down["kind"] = "down";
    down["path"] = "ua/loginManagedAccount";
    service.fault(down);
    const VxMetaException unreachable = failureOf([&] {
        HighAvailability([&] { api.loginManagedAccountEncPass("mia@example.test", wrapped, false); });
    });
    EXPECT_EQ(unreachable.category, VXMECAT_COMMUNICATION_ERROR);
    EXPECT_EQ(globalState.managedEncPass, wrapped);
}

TEST_F(ManagedAccountsOnTheService, TheOperatingSystemUserSignsInImplicitly) {
    const Json::Value account = newAccount("mia@example.test", "", kDirectoryPassword);
    EXPECT_FALSE(api.checkImplicitAccount()); // the service knows no operating-system user yet
    osUser("mia@example.test");
    EXPECT_TRUE(api.checkImplicitAccount());
    EXPECT_EQ(myPID->email, "mia@example.test");
    {
        LockScope lock(masterMutex);
        myPID->email = "kept@example.test";
    }
    EXPECT_TRUE(api.checkImplicitAccount());
    EXPECT_EQ(myPID->email, "kept@example.test");
    for (const Json::Value& request : service.requestsTo("ua/checkWinAuth"))
        EXPECT_FALSE(request["headers"].isMember("Authorization"));

    {
        LockScope lock(masterMutex);
        myPID->email.clear();
        globalState.managedEncPass = "left from before";
    }
    api.loginImplicitAccount(false);
    EXPECT_TRUE(loggedIn());
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));
    EXPECT_EQ(myPID->urn, account["urn"].asString());
    EXPECT_EQ(api.getPassword(), kPassword);
    EXPECT_TRUE(globalState.managedEncPass.empty());
    EXPECT_EQ(myPersists->lastManagedLoginTime, nowSeconds());
    EXPECT_EQ(managedState()["oneTimeKeys"].size(), 1u);

    // An unmanaged operating-system user gets no password.
    newAccount("plain@example.test");
    osUser("plain@example.test");
    const VxMetaException notManaged = failureOf([&] { api.loginImplicitAccount(false); });
    EXPECT_EQ(notManaged.category, VXMECAT_NOT_MANAGED);
    EXPECT_EQ(notManaged.message, "Account is not managed.");
    EXPECT_EQ(notManaged.reason, VXMEREASON_NOT_MANAGED);
}

TEST_F(ManagedAccountsOnTheService, UnmanagedAccountsAreAskedForOnlyOnAnUnregisteredDevice) {
    EXPECT_TRUE(api.canUseUnmanagedAccount());
    Json::Value refuse;
    refuse["canUseUnmanagedAccounts"] = false;
    service.call("POST", "/managed/settings", jsonString(refuse));
    EXPECT_FALSE(api.canUseUnmanagedAccount());
    EXPECT_EQ(count(paths(), "aa/userAuthorityInformation"), 2u);

    {
        LockScope lock(masterMutex);
        myPID->id = 9;
    }
    EXPECT_TRUE(api.isRegistered());
    EXPECT_TRUE(api.canUseUnmanagedAccount());
    EXPECT_EQ(count(paths(), "aa/userAuthorityInformation"), 2u);
}

TEST_F(ManagedAccountsOnTheService, TheOrganisationsPolicyIsReadBeforeSignInAndChecked) {
    auto policy = [&](int teamId, int hours) {
        Json::Value spec;
        spec["team_id"] = teamId;
        spec["kind"] = "Satellite Policy";
        spec["name"] = "policy";
        spec["value"] = "{\"version\":\"1.0.300\",\"offline_access_hours\":" + std::to_string(hours) + "}";
        return service.call("POST", "/signed/teamdata", jsonString(spec));
    };
    policy(0, 12);
    policy(7, 30);
    {
        // Held from before and not on the service: dropped by the merge.
        LockScope lock(masterMutex);
        auto stale = std::make_shared<TeamData>();
        stale->kind = "Satellite Policy";
        stale->id = 999;
        stale->remoteDirty = false;
        myTeamDatas->push_back(stale);
    }

    RecordListPtr<TeamData> views = api.getSatellitePolicy();
    ASSERT_EQ(views->size(), 1u);
    EXPECT_EQ((*views)[0]->kind, "Satellite Policy");
    EXPECT_TRUE((*views)[0]->signature.empty()); // a view shows no signature
    ASSERT_EQ(myTeamDatas->size(), 1u);
    EXPECT_EQ((*myTeamDatas)[0]->verified, 1);
    EXPECT_EQ(myPersists->offline_access_hours, 12);
    EXPECT_EQ(globalState.satellitePolicy.offline_access_hours, 12);
    EXPECT_TRUE(api.getSyncProblems().empty());

    // The operating-system user's team: asked with the operating-system identity.
    osUser("someone@example.test", 7);
    newAccount("someone@example.test");
    views = api.getSatellitePolicyForUser();
    ASSERT_EQ(views->size(), 1u);
    EXPECT_EQ(myPersists->offline_access_hours, 30);
    EXPECT_EQ(count(paths(), "aa/satellitePolicy"), 1u);

    // Signed by another key: kept, reported, and not in force.
    setMdsPubkey(service.satellitePublicKey);
    views = api.getSatellitePolicy();
    ASSERT_EQ(views->size(), 1u);
    EXPECT_EQ(myPersists->offline_access_hours, 30);
    const std::vector<VxMetaException> problems = api.getSyncProblems();
    ASSERT_FALSE(problems.empty());
    for (const VxMetaException& problem : problems) {
        EXPECT_EQ(problem.category, VXMECAT_PROTOCOL);
        EXPECT_EQ(problem.message.rfind("Invalid signature on teamdata/", 0), 0u) << problem.message;
    }
}

TEST_F(ManagedAccountsOnTheService, ASignedInUsersPolicyComesFromTheDataset) {
    const Json::Value account = newAccount("held@example.test");
    api.login("held@example.test", kPassword, false);
    ASSERT_TRUE(loggedIn());
    {
        LockScope lock(masterMutex);
        auto held = std::make_shared<TeamData>();
        held->kind = "Satellite Policy";
        held->signature = "V2-held";
        myTeamDatas->push_back(held);
    }
    const size_t before = service.log().size();
    const RecordListPtr<TeamData> views = api.getSatellitePolicyForUser();
    ASSERT_EQ(views->size(), 1u);
    EXPECT_NE((*views)[0], (*myTeamDatas)[0]); // a copy
    EXPECT_EQ(service.log().size(), before);
}

} // namespace
