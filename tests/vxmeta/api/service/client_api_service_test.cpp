// The API object against the test key service over HTTPS: an account created on a fresh device
// (its keys and the device's recovery cipher opened in Python), signed out and in again on a fresh
// installation (device and application found, not registered twice), the password, address and name
// changed, the e-mail verification asked for, a forgotten password recovered, the recovery renewal
// whose send fails, a disabled device, a refused creation, and a wrapped operation that fails over.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/api/application_record.h"
#include "vxmeta/api/recovery_material.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_info.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/last_check_domain.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/accounts/service/account_service_fixture.h"

using namespace VxMeta;
using VxMeta::testing::failureOf;

namespace {

constexpr char kGuid[] = "LIN-6F0A3C1E-2B7D-4E59-9A61-0C8D5B2E7F43";
constexpr char kEmail[] = "new@example.test";
constexpr char kNewPassword[] = "another \u00df secret";

class ClientApiOnTheService : public VxMeta::testing::AccountServiceTest {
protected:
    void SetUp() override {
        AccountServiceTest::SetUp();
        if (service.servers.empty()) return;
        // The service names itself the key server of the test domain.
        nameServer("", "example.test", service.servers.at(0), service.servicePublicKey);
        api = std::make_unique<Vorlane>();
        api->setAppInfo("Reader", "1.0", {"zip"});
        api->setDeviceInfo(kGuid, "desk one", "Linux", "12", "x86_64");
    }
    void TearDown() override {
        api.reset();
        terminal_name.clear();
        platformVersion.clear();
        platformSubtype.clear();
        appCapabilities.clear();
        AccountServiceTest::TearDown();
    }

    // Signed out, and the dataset emptied as a new installation has it (the server is kept).
    void freshInstallation() {
        api->logout();
        mdClearAll(true);
        lastCheckDomain.clear();
        cacheLoginParameters.clear();
    }
    // The stored forms of a stem on the service.
    Json::Value stored(const std::string& stem) const { return service.call("GET", "/records")["records"][stem]; }
    // Python opens the account's secret identity with the password.
    bool pythonOpensKeys(const std::string& password) const {
        Json::Value spec;
        spec["password"] = password;
        const Json::Value opened =
            service.call("POST", "/accounts/" + std::to_string(api->getUserId()) + "/open", jsonString(spec));
        return opened["opened"].asBool() && opened["matchesPid"].asBool();
    }
    // Python decrypts the device's cipher under the recovery code the service holds.
    std::string pythonRecovers(const std::string& cipher) const {
        Json::Value spec;
        spec["device"] = kGuid;
        spec["cipher"] = cipher;
        return service.call("POST", "/recovery/open", jsonString(spec))["password"].asString();
    }
    static std::string heldCipher() {
        LockScope lock(masterMutex);
        return myDevice->recovery_cipher;
    }
    static std::string heldCode() {
        LockScope lock(masterMutex);
        return myDevice->recovery_code;
    }
    size_t requests(const std::string& method, const std::string& path) const {
        size_t found = 0;
        for (const Json::Value& entry : service.log()) {
            std::string logged = entry["path"].asString();
            logged = logged.substr(logged.find("/api/v1.0/") + 10);
            if (entry["method"].asString() == method && logged.substr(0, logged.find('?')) == path) ++found;
        }
        return found;
    }

    std::unique_ptr<Vorlane> api;
};

TEST_F(ClientApiOnTheService, CreatedAccountSignsInAgainOnAFreshInstallationAndChangesItsPassword) {
    api->createAccount(kEmail, "New User", kPassword);
    EXPECT_TRUE(api->isLoggedIn());
    EXPECT_TRUE(api->isRegistered());
    EXPECT_EQ(api->getUserEmail(), kEmail);
    EXPECT_EQ(api->getUserName(), "New User");
    EXPECT_TRUE(pythonOpensKeys(kPassword));
    const Json::Value body = lastBody("ua/createAccount/");
    EXPECT_FALSE(body.isMember("deviceId"));
    EXPECT_EQ(body["deviceName"].asString(), "desk one");
    EXPECT_EQ(body["platform"].asString(), "Linux");
    EXPECT_EQ(body["device"]["record"]["urn"].asString(), kGuid);
    EXPECT_EQ(body["device"]["record"]["revision"].asInt(), 1);
    EXPECT_EQ(pythonRecovers(heldCipher()), kPassword);

    // The device's recovery cipher is in the next changes-only save; the code that opens it is in no
    // save, full or changes-only.
    bool saved = false;
    const std::string code = heldCode();
    ASSERT_FALSE(code.empty());
    for (const bool changesOnly : {true, false}) {
        const SerialListPtr pairs = api->serializeAll(changesOnly);
        for (const std::shared_ptr<Serial>& pair : *pairs) {
            saved = saved || pair->value.find(heldCipher()) != std::string::npos;
            EXPECT_EQ(pair->value.find(code), std::string::npos) << pair->name;
            EXPECT_EQ(pair->value.find("recovery_code"), std::string::npos) << pair->name;
        }
    }
    EXPECT_TRUE(saved);

    // The first sign-in registers the application; the second, on a fresh installation, finds the
    // device and the application.
    api->logout();
    EXPECT_FALSE(api->isLoggedIn());
    api->login(kEmail, kPassword, false);
    freshInstallation();
    api->login(kEmail, kPassword, false);
    EXPECT_TRUE(api->isLoggedIn());
    EXPECT_EQ(stored("device").size(), 1u);
    EXPECT_EQ(stored("app").size(), 1u);
    EXPECT_EQ(requests("POST", "device/"), 0u);
    EXPECT_EQ(requests("POST", "app/"), 1u);
    EXPECT_EQ(requests("GET", "app"), 2u);
    {
        LockScope lock(masterMutex);
        EXPECT_GT(myDevice->id, 0);
        EXPECT_EQ(myDevice->owner, myPID->urn);
        EXPECT_GT(getMyApp()->id, 0);
        EXPECT_EQ(getMyApp()->deviceid, myDevice->id);
    }
    // The device found again renewed its recovery data.
    EXPECT_FALSE(heldCipher().empty());
    EXPECT_EQ(pythonRecovers(heldCipher()), kPassword);

    const VxMetaException wrongOld = failureOf([&] { api->changePassword("not it", kNewPassword, false); });
    EXPECT_EQ(wrongOld.category, VXMECAT_PASSWORD);
    EXPECT_EQ(wrongOld.message, "Can't change password - old password is incorrect");
    EXPECT_EQ(requests("POST", "aa/changePassword/"), 0u);

    api->changePassword(kPassword, kNewPassword, false);
    EXPECT_EQ(pythonRecovers(heldCipher()), kNewPassword);
    EXPECT_TRUE(pythonOpensKeys(kNewPassword));
    freshInstallation();
    EXPECT_ANY_THROW(api->login(kEmail, kPassword, false));
    EXPECT_FALSE(api->isLoggedIn());
    freshInstallation();
    api->login(kEmail, kNewPassword, false);
    EXPECT_TRUE(api->isLoggedIn());
}

TEST_F(ClientApiOnTheService, AddressAndNameChangeAndTheVerificationIsAskedFor) {
    api->createAccount(kEmail, "New User", kPassword);
    EXPECT_FALSE(api->isAuthenticated());
    api->changeName("Renamed", false);
    api->changeEmail("moved@example.test", false);
    EXPECT_EQ(api->getUserName(), "Renamed");
    EXPECT_EQ(api->getUserEmail(), "moved@example.test");
    const Json::Value pid = stored("pid")[0];
    EXPECT_EQ(pid["record"]["name"].asString(), "Renamed");
    EXPECT_EQ(pid["record"]["email"].asString(), "moved@example.test");

    api->requestEmailVerification();
    EXPECT_TRUE(stored("user")[0]["email_pending"].asBool());
    const Json::Value messages = service.call("GET", "/recovery");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0]["kind"].asString(), "verification");
    EXPECT_EQ(messages[0]["email"].asString(), "moved@example.test");

    freshInstallation();
    api->login("moved@example.test", kPassword, false);
    EXPECT_TRUE(api->isLoggedIn());
    EXPECT_EQ(api->getUserName(), "Renamed");
}

TEST_F(ClientApiOnTheService, ForgottenPasswordIsRecoveredWithTheCodeTheServiceHolds) {
    const VxMetaException nothingHeld = failureOf([&] { api->requestRecoveryEmail(""); });
    EXPECT_EQ(nothingHeld.message,
              "Password recovery is not possible from this device - the required local encrypted data is missing.");
    EXPECT_EQ(failureOf([&] { api->recoverPassword("rt-any", false, ""); }).message, nothingHeld.message);

    api->createAccount(kEmail, "New User", kPassword);
    EXPECT_TRUE(api->canRecoveryBePerformed());
    api->requestRecoveryEmail("");
    const Json::Value messages = service.call("GET", "/recovery");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0]["email"].asString(), kEmail);
    EXPECT_EQ(messages[0]["device"].asString(), kGuid);
    const std::string token = messages[0]["token"].asString();
    const Json::Value asked = lastBody("recovery");
    EXPECT_EQ(asked["email"].asString(), kEmail);

    const std::string cipher = heldCipher();
    api->logout();
    EXPECT_EQ(api->recoverPassword(token, false, ""), kPassword);
    EXPECT_EQ(api->recoverPassword(token, false, cipher), kPassword);
    EXPECT_EQ(failureOf([&] { api->recoverPassword("rt-unknown", false, ""); }).httpStatus, 403);

    // A code that is not the one the cipher was made under: refused, not read as a password.
    Json::Value otherCode;
    otherCode["kind"] = "status";
    otherCode["status"] = 200;
    otherCode["path"] = "recovery";
    otherCode["count"] = 1;
    otherCode["body"] = R"({"recovery_code":"HxweHRwbGhkYFxYVFBMSERAPDg0MCwoJCAcGBQQDAgE="})";
    service.fault(otherCode);
    const VxMetaException notOpened = failureOf([&] { api->recoverPassword(token, false, ""); });
    EXPECT_EQ(notOpened.category, VXMECAT_CLIENT);
    EXPECT_EQ(notOpened.message, kRecoveryCodeDoesNotOpen);

    Json::Value shortCode;
    shortCode["kind"] = "status";
    shortCode["status"] = 200;
    shortCode["path"] = "recovery";
    shortCode["body"] = "{\"recovery_code\":\"" + std::string(42, 'A') + "\"}";
    service.fault(shortCode);
    const VxMetaException invalid = failureOf([&] { api->recoverPassword(token, false, ""); });
    EXPECT_EQ(invalid.category, VXMECAT_CLIENT);
    EXPECT_EQ(invalid.message, "Password recovery is not possible - the recovery code is invalid");
}

TEST_F(ClientApiOnTheService, AfterAPasswordChangeADeviceUpdateKeepsTheNewCodeAndRecoveryGivesTheNewPassword) {
    api->createAccount(kEmail, "New User", kPassword);
    api->logout();
    api->login(kEmail, kPassword, false);
    api->changePassword(kPassword, kNewPassword, false);
    const std::string sentCode = lastBody("aa/changePassword/")["recovery_code"].asString();
    EXPECT_EQ(heldCode(), sentCode);
    std::shared_ptr<Device> device;
    {
        LockScope lock(masterMutex);
        device = myDevice;
        device->name = "desk two";
        device->changed();
    }
    ASSERT_TRUE(device->trySync());
    Json::Value put;
    for (const Json::Value& entry : service.log())
        if (entry["method"].asString() == "PUT" && entry["path"].asString().find("/device/") != std::string::npos)
            put = parseJson(entry["body"].asString());
    EXPECT_EQ(put["recovery_code"].asString(), sentCode);

    api->requestRecoveryEmail("");
    const std::string token = service.call("GET", "/recovery")[0]["token"].asString();
    api->logout();
    EXPECT_EQ(api->recoverPassword(token, false, ""), kNewPassword);
}

TEST_F(ClientApiOnTheService, RenewalWhoseSendFailsKeepsThePreviousCodeAndCipher) {
    api->createAccount(kEmail, "New User", kPassword);
    const std::string code = heldCode();
    const std::string cipher = heldCipher();
    int64_t deviceId = 0;
    {
        LockScope lock(masterMutex);
        deviceId = myDevice->id;
    }
    Json::Value refused;
    refused["kind"] = "status";
    refused["status"] = 400;
    refused["body"] = "{\"Message\":\"Refused\"}";
    refused["path"] = "device/" + std::to_string(deviceId);
    refused["count"] = 1;
    service.fault(refused);
    api->updatePasswordRecovery(kPassword);
    EXPECT_EQ(requests("PUT", "device/" + std::to_string(deviceId) + "/"), 1u);
    EXPECT_EQ(heldCode(), code);
    EXPECT_EQ(heldCipher(), cipher);
    EXPECT_EQ(pythonRecovers(heldCipher()), kPassword);

    api->updatePasswordRecovery(kPassword);
    EXPECT_NE(heldCode(), code);
    EXPECT_NE(heldCipher(), cipher);
    EXPECT_EQ(pythonRecovers(heldCipher()), kPassword);
}

TEST_F(ClientApiOnTheService, DisabledDeviceEmptiesTheDatasetAtSignIn) {
    api->createAccount(kEmail, "New User", kPassword);
    int64_t deviceId = 0;
    {
        LockScope lock(masterMutex);
        deviceId = myDevice->id;
    }
    freshInstallation();
    service.call("POST", "/sync/device/" + std::to_string(deviceId), "{\"enabled\":false}");
    const VxMetaException disabled = failureOf([&] { api->login(kEmail, kPassword, false); });
    EXPECT_EQ(disabled.category, VXMECAT_DEVICE_NOT_ALLOWED);
    EXPECT_EQ(disabled.message, "Access Denied - Device is disabled");
    EXPECT_FALSE(api->isLoggedIn());
    LockScope lock(masterMutex);
    EXPECT_TRUE(myPID->urn.empty());
    EXPECT_EQ(myDevice->id, 0);
}

TEST_F(ClientApiOnTheService, RefusedCreationLeavesNothingThatLooksSignedIn) {
    api->createAccount(kEmail, "New User", kPassword);
    const VxMetaException taken = failureOf([&] { api->createAccount(kEmail, "Again", kPassword); });
    EXPECT_EQ(taken.category, VXMECAT_HTTP);
    EXPECT_EQ(taken.httpStatus, 409);
    const Json::Value body = lastBody("ua/createAccount/");
    EXPECT_FALSE(body.isMember("deviceId")) << "another account's device id was sent";
    EXPECT_EQ(body["deviceName"].asString(), "desk one");
    EXPECT_FALSE(api->isLoggedIn());
    EXPECT_FALSE(api->isRegistered());
    LockScope lock(masterMutex);
    EXPECT_TRUE(globalState.myPrikey.empty());
    EXPECT_TRUE(myPID->urn.empty());
}

TEST_F(ClientApiOnTheService, ServiceWithoutApplicationRecordsIsNotAskedAgain) {
    api->createAccount(kEmail, "New User", kPassword);
    Json::Value absent;
    absent["kind"] = "status";
    absent["status"] = 404;
    absent["path"] = "app"; // the look-up "app?deviceid=" and the creation "app/"
    absent["body"] = "{\"Message\":\"Not here\"}";
    absent["count"] = 2;
    service.fault(absent);
    api->logout();
    api->login(kEmail, kPassword, false);
    EXPECT_EQ(requests("GET", "app"), 1u);
    EXPECT_EQ(requests("POST", "app/"), 1u);
    {
        LockScope lock(masterMutex);
        EXPECT_FALSE(globalState.appListSupported);
    }
    api->logout();
    api->login(kEmail, kPassword, false);
    EXPECT_EQ(requests("POST", "app/"), 1u) << "an application record was sent again";
    EXPECT_TRUE(stored("app").empty());
}

TEST_F(ClientApiOnTheService, WrappedOperationRunsAgainOnTheNextServerAndRefusalsAreNotRetried) {
    ASSERT_GE(service.servers.size(), 2u);
    service.call("POST", "/cluster", R"({"members":[{"server":0},{"server":1}]})");
    api->createAccount(kEmail, "New User", kPassword);
    // The client takes the two-member cluster document (GET is not wrapped).
    getMyClusterEvaluator()->setClusterInfo(
        TarvexProtocol::ClusterInfo::fromJson(parseJson(api->GET("clusterInfo"))), false);
    ASSERT_EQ(api->getClusterServers().size(), 2u);
    const auto url = [&](int index) { return TarvexProtocol::Url::newInstance(service.servers.at(index), ""); };
    const int used = api->getPrefix() == url(0)->baseUrl ? 0 : 1;
    ASSERT_EQ(api->getPrefix(), url(used)->baseUrl);
    const std::string pidPath = "pid/" + std::to_string(api->getUserId()) + "/";

    Json::Value down;
    down["kind"] = "down";
    down["server"] = used;
    service.fault(down);
    api->changeName("Failed Over", false);
    EXPECT_EQ(stored("pid")[0]["record"]["name"].asString(), "Failed Over");
    const std::vector<Json::Value> renamed = service.requestsTo(pidPath);
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0]["server"].asInt(), 1 - used);
    EXPECT_FALSE(getMyClusterServers()->getServerForUrl(url(used))->isUp()) << "the first attempt went elsewhere";
    EXPECT_EQ(getMyClusterEvaluator()->getMasterOnly(), 0);

    Json::Value forbidden;
    forbidden["kind"] = "status";
    forbidden["status"] = 403;
    forbidden["path"] = "pid/";
    forbidden["body"] = "{\"Message\":\"No\"}";
    service.fault(forbidden);
    const VxMetaException refused = failureOf([&] { api->changeName("Refused", false); });
    EXPECT_EQ(refused.httpStatus, 403);
    EXPECT_EQ(service.requestsTo(pidPath).size(), 2u);
    EXPECT_EQ(api->getUserName(), "Failed Over");
}

} // namespace
