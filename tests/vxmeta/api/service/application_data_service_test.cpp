// Application data against the test key service over HTTPS, with two devices of one user: a value of
// the user reaches the other device, a value of one device stays there; a datum of another
// application is not seen; a per-device value needs a registered device; removing deletes on the
// service and sends nothing for an unknown name.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "vxmeta/accounts/service/managed_keys_fixture.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;

namespace {

class AppDataOnTheService : public VxMeta::testing::ManagedKeysServiceTest {
protected:
    // A fresh installation with this device identity signs in through the API object (which maps the
    // device) and synchronizes once.
    void signInOn(const std::string& guid, const Json::Value& account) {
        mdClearAll(false);
        setMds(service.servers.at(0), service.servicePublicKey);
        cacheLoginParameters.clear();
        lastCheckDomain.clear();
        lastUserLookup.clear();
        api.setAppInfo("Reader", "1.0", {});
        api.setDeviceInfo(guid, guid, "Linux", "12", "x86_64");
        api.login(account["email"].asString(), kPassword, false);
        sync(false);
        LockScope lock(masterMutex);
        ASSERT_GT(myDevice->id, 0);
    }
    static int64_t deviceId() {
        LockScope lock(masterMutex);
        return myDevice->id;
    }
    std::vector<Json::Value> storedData(const std::string& name) { return stored("appdata", "name", name); }

    RawVorlane api;
};

TEST_F(AppDataOnTheService, UserValuesReachTheOtherDeviceDeviceValuesStay) {
    const Json::Value a = person("a@example.test");
    signInOn("LIN-desk-one", a);
    const int64_t one = deviceId();
    api.saveAppData("colour", "blue", false);
    api.saveAppData("window", "left", true);
    EXPECT_EQ(requestsTo("POST appdata/"), 2u);
    ASSERT_EQ(storedData("colour").size(), 1u);
    EXPECT_EQ(storedData("colour")[0]["deviceid"].asInt64(), 0);
    EXPECT_EQ(storedData("colour")[0]["record"]["kind"].asString(), "Reader");
    EXPECT_EQ(storedData("colour")[0]["record"]["owner"].asString(), a["urn"].asString());
    EXPECT_EQ(storedData("window")[0]["deviceid"].asInt64(), one);
    api.saveAppData("colour", "green", false);
    EXPECT_EQ(requestsTo("PUT appdata/"), 1u);
    EXPECT_EQ(storedData("colour")[0]["record"]["value"].asString(), "green");
    EXPECT_EQ(api.getAppData("colour"), "green");
    EXPECT_EQ(api.getAppData("window"), "left");
    // The user-wide save of a name this device holds per device changes the per-device datum.
    api.saveAppData("window", "top", false);
    ASSERT_EQ(storedData("window").size(), 1u);
    EXPECT_EQ(storedData("window")[0]["deviceid"].asInt64(), one);

    signInOn("LIN-desk-two", a);
    EXPECT_NE(deviceId(), one);
    EXPECT_EQ(api.getAppData("colour"), "green") << "the user's value arrived with the synchronization";
    EXPECT_EQ(api.getAppData("window"), "") << "another device's value";
    api.saveAppData("window", "right", true);
    ASSERT_EQ(storedData("window").size(), 2u);

    // Another application's datum is not seen, and saving creates this application's own.
    appName = "Other";
    EXPECT_EQ(api.getAppData("colour"), "");
    api.saveAppData("colour", "red", false);
    EXPECT_EQ(storedData("colour").size(), 2u);
    appName = "Reader";
    EXPECT_EQ(api.getAppData("colour"), "green");

    const size_t deletes = requestsTo("DELETE appdata/");
    api.removeAppData("nothing");
    EXPECT_EQ(requestsTo("DELETE appdata/"), deletes);
    api.removeAppData("colour");
    EXPECT_EQ(requestsTo("DELETE appdata/"), deletes + 1);
    EXPECT_EQ(api.getAppData("colour"), "");
    ASSERT_EQ(storedData("colour").size(), 1u) << "the other application's datum stays";
    EXPECT_EQ(storedData("colour")[0]["record"]["kind"].asString(), "Other");

    signInOn("LIN-desk-one", a);
    EXPECT_EQ(api.getAppData("window"), "top");
    EXPECT_EQ(api.getAppData("colour"), "");
}

TEST_F(AppDataOnTheService, APerDeviceValueNeedsARegisteredDevice) {
    const Json::Value a = person("a@example.test");
    signInOn("LIN-desk-one", a);
    api.saveAppData("window", "left", true);
    const int64_t one = deviceId();
    {
        LockScope lock(masterMutex);
        myDevice->id = 0;
    }
    const VxMetaException failure = thrownBy([&] { api.saveAppData("size", "big", true); });
    EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
    EXPECT_EQ(failure.message, "Unable to save App Data as device or user are null");
    EXPECT_TRUE(storedData("size").empty());
    EXPECT_EQ(api.getAppData("size"), "");
    {
        LockScope lock(masterMutex);
        myDevice->id = one;
    }
    api.saveAppData("window", "", true);
    EXPECT_EQ(storedData("window")[0]["record"]["value"].asString(), "");
    EXPECT_EQ(api.getAppData("window"), "");
}

} // namespace
