// The migration of an account between the two independent test key services over HTTPS: the service
// the account leaves produces its records, the other one opens the passwords, login token and hash
// the client wrapped for its key, takes the account over, and the account signs in there; a
// migration that fails after the produce step leaves the client on the server it started from, with
// that server's key and prefix; the failure texts; the server switches and the small questions about
// the account and the server in use.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/accounts/service/account_service_fixture.h"

using namespace VxMeta;
using VxMeta::testing::failureOf;

namespace {

const std::string kAccountPassword = "the account's \u00e9 password";

class MigrationOnTheService : public VxMeta::testing::AccountServiceTest {
protected:
    RawVorlane api;
};

TEST_F(MigrationOnTheService, AnAccountMovesToTheOtherServiceAndSignsInThere) {
    const Json::Value account = newAccount("mover@move.test");
    mustMigrate("", "mover@move.test", service.satellite, service.satellitePublicKey);

    api.migrate("mover@move.test", kPassword, kAccountPassword, false);
    // The library starts again from the default server.
    EXPECT_EQ(selectedBase(), VCSR::CMDS_URL->baseUrl);
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_TRUE(myPID->urn.empty());
    EXPECT_TRUE(globalState.myPrikey.empty());

    const Json::Value produced = lastBody("ua/produceMigrationBlob");
    EXPECT_EQ(produced["email"].asString(), "mover@move.test");
    EXPECT_EQ(produced["loginToken"].asString().substr(0, 3), "V2-");
    const Json::Value consumed = lastBody("ua/consumeMigrationBlob", "/satellite");
    for (const char* member : {"pid", "user", "sid", "blob", "loginToken", "loginTokenHash"})
        EXPECT_TRUE(consumed.isMember(member)) << member;
    EXPECT_FALSE(consumed.isMember("deviceId"));
    const Json::Value opened = service.call("GET", "/satellite/migration")["consumed"];
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]["password"].asString(), kPassword);
    EXPECT_EQ(opened[0]["accountPassword"].asString(), kAccountPassword);
    EXPECT_EQ(opened[0]["urn"].asString(), account["urn"].asString());
    EXPECT_EQ(count(paths(), "ua/consumeMigrationBlob"), 0u);

    // The domain is now served by the other service: the account signs in there.
    setMds(service.servers.at(0), service.servicePublicKey);
    nameServer("", "move.test", service.satellite, service.satellitePublicKey);
    nameServer("/satellite", "move.test", service.satellite, service.satellitePublicKey);
    lastCheckDomain.clear();
    cacheLoginParameters.clear();
    api.login("mover@move.test", kPassword, false);
    EXPECT_TRUE(loggedIn());
    EXPECT_EQ(selectedBase(), service.satellite);
    EXPECT_EQ(globalState.mdsPubkey, service.satellitePublicKey);
    EXPECT_EQ(myPID->urn, account["urn"].asString());
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));
}

// A consume step that fails leaves the client where it was: on the service the account lives on,
// with that service's key, whether it is the first service or the second (a satellite).
TEST_F(MigrationOnTheService, AFailedConsumeLeavesTheClientOnItsServerWithItsKey) {
    struct Start {
        const char* name;
        bool fromSatellite;
    };
    for (const Start start : {Start{"first service", false}, Start{"satellite", true}}) {
        SCOPED_TRACE(start.name);
        service.reset();
        service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
        mdClearAll(false);
        setMds(service.servers.at(0), service.servicePublicKey);
        lastCheckDomain.clear();
        cacheLoginParameters.clear();
        const std::string here = start.fromSatellite ? service.satellite : service.servers.at(0);
        const std::string hereKey = start.fromSatellite ? service.satellitePublicKey : service.servicePublicKey;
        const std::string there = start.fromSatellite ? service.servers.at(0) : service.satellite;
        const std::string thereKey = start.fromSatellite ? service.servicePublicKey : service.satellitePublicKey;
        const std::string hereAdmin = start.fromSatellite ? "/satellite" : "";
        const std::string thereAdmin = start.fromSatellite ? "" : "/satellite";
        if (start.fromSatellite) {
            nameServer("", "move.test", service.satellite, service.satellitePublicKey);
            nameServer("/satellite", "move.test", service.satellite, service.satellitePublicKey);
        }
        newAccount("mover@move.test", hereAdmin);
        mustMigrate(hereAdmin, "mover@move.test", there, thereKey);
        Json::Value refuse;
        refuse["kind"] = "status";
        refuse["status"] = 400;
        refuse["body"] = "{\"Message\":\"cannot take it now\"}";
        refuse["path"] = "ua/consumeMigrationBlob";
        service.call("POST", thereAdmin + "/fault", jsonString(refuse));

        const VxMetaException failed =
            failureOf([&] { api.migrate("mover@move.test", kPassword, kAccountPassword, false); });
        EXPECT_EQ(failed.httpStatus, 400);
        EXPECT_EQ(count(paths(thereAdmin), "ua/consumeMigrationBlob"), 1u);
        EXPECT_EQ(selectedBase(), here);
        EXPECT_EQ(globalState.mdsPubkey, hereKey);
        EXPECT_EQ(myPersists->mdsPubkey, hereKey);
        EXPECT_EQ(myPersists->setPrefix, here);
    }
}

TEST_F(MigrationOnTheService, ABlankServerAndAnAccountThatNeedNotMoveFail) {
    newAccount("blank@move.test");
    mustMigrate("", "blank@move.test", "", service.satellitePublicKey);
    const VxMetaException blank = failureOf([&] { api.migrate("blank@move.test", kPassword, kAccountPassword, false); });
    EXPECT_EQ(blank.category, VXMECAT_PROTOCOL);
    EXPECT_EQ(blank.message, "Migration server url is blank - don't know where to go");
    EXPECT_EQ(selectedBase(), service.servers.at(0));
    EXPECT_EQ(globalState.mdsPubkey, service.servicePublicKey);

    service.reset();
    service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
    newAccount("stay@example.test");
    cacheLoginParameters.clear();
    lastCheckDomain.clear();
    const VxMetaException notMigrating =
        failureOf([&] { api.migrate("stay@example.test", kPassword, kAccountPassword, false); });
    // The test service names its own key, so the account counts as one that has migrated already.
    EXPECT_EQ(notMigrating.category, VXMECAT_ALREADY_MIGRATED);
    EXPECT_EQ(notMigrating.message, "Account stay@example.test already migrated");
    const std::vector<std::string> expected = {"ua/getAuthorizedServer", "ua/loginParameters/"};
    EXPECT_EQ(paths(), expected);
    EXPECT_TRUE(paths("/satellite").empty());
}

TEST_F(MigrationOnTheService, ServerSwitchesAndTheQuestionsAboutAccountAndServer) {
    nameServer("", "sat.test", service.satellite, service.satellitePublicKey);
    nameServer("/satellite", "sat.test", service.satellite, service.satellitePublicKey);
    EXPECT_NE(api.getAuthorizedServer("ann@sat.test").find(service.satellitePublicKey), std::string::npos);
    EXPECT_TRUE(api.switchToDomain("ann@sat.test"));
    EXPECT_TRUE(api.isSatellite());
    EXPECT_EQ(selectedBase(), service.satellite);

    // A domain the satellite does not know: the built-in key, and no satellite.
    lastCheckDomain.clear();
    EXPECT_FALSE(api.switchToDomain("other.test"));
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_FALSE(api.isSatellite());

    api.switchToCentral(service.servers.at(0));
    EXPECT_EQ(selectedBase(), service.servers.at(0));
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_EQ(myPersists->setPrefix, service.servers.at(0));

    // Before a sign-in nobody owns the user record; after it the service's word counts.
    EXPECT_FALSE(api.isAccountAllowed());
    EXPECT_TRUE(api.isDeviceAllowed());
    setMds(service.servers.at(0), service.servicePublicKey);
    newAccount("bo@example.test");
    api.login("bo@example.test", kPassword, false);
    EXPECT_TRUE(api.isAccountAllowed());
    EXPECT_TRUE(api.isRegistered());
    EXPECT_EQ(api.getPassword(), kPassword);
    {
        LockScope lock(masterMutex);
        myDevice->allow_access = false;
        myUser->allow_access = false;
    }
    EXPECT_FALSE(api.isDeviceAllowed());
    EXPECT_FALSE(api.isAccountAllowed());
}

} // namespace
