// Sign-in, server discovery and identity look-ups against the test key service over HTTPS: a
// password account signs in on a device that holds it (with a reset round) and on a fresh device (the
// transfer), offline when the service is down, and fails for an unknown address and an account that
// must migrate; the authorized server of a domain (a second, independent service with its own key)
// takes over, and a failed confirmation puts everything back; identities are looked up by forwarded
// address and by URN through the 2-second cache.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/key_service.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/credentials.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/last_check_domain.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/server_discovery.h"
#include "vxmeta/accounts/service/account_service_fixture.h"

using namespace VxMeta;
using VxMeta::testing::failureOf;

namespace {

class SignInOnTheService : public VxMeta::testing::AccountServiceTest {};

TEST_F(SignInOnTheService, HeldAccountProvesThePasswordAndOpensWhatThePythonServiceWrapped) {
    const Json::Value account = newAccount("held@example.test");
    holdOnDevice(account);
    Json::Value reset;
    reset["email"] = "held@example.test";
    service.call("POST", "/login/reset-next", jsonString(reset));

    login("held@example.test", kPassword, false);
    std::vector<std::string> sent = paths();
    EXPECT_EQ(count(sent, "ua/getAuthorizedServer"), 1u);
    EXPECT_EQ(count(sent, "ua/loginParameters/"), 1u);
    EXPECT_EQ(count(sent, "ua/login/"), 2u); // "matched": false, then the second proof
    EXPECT_EQ(count(sent, "ua/accountTransfer"), 0u);
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));
    EXPECT_TRUE(loggedIn());
    EXPECT_EQ(globalState.mdsPubkey, service.servicePublicKey);
    EXPECT_EQ(myPersists->cmdsPrefix, service.servers.at(0));
    EXPECT_FALSE(getFreshToken().empty());
    EXPECT_FALSE(globalState.credentials.recoveryUpdateNeeded); // the SID was held

    // Within 2 s the login parameters come from the cache: their challenge is spent, so the service
    // asks for one more round.
    logout();
    service.reset();
    holdOnDevice(newAccount("held@example.test"));
    cacheLoginParameters.clear();
    login("held@example.test", kPassword, false);
    login("held@example.test", kPassword, false);
    sent = paths();
    EXPECT_EQ(count(sent, "ua/loginParameters/"), 1u) << "the second sign-in asked again";
    EXPECT_EQ(count(sent, "ua/login/"), 3u);
    EXPECT_TRUE(loggedIn());
    clock->advanceSeconds(2);
    login("held@example.test", kPassword, false);
    EXPECT_EQ(count(paths(), "ua/loginParameters/"), 2u);
}

TEST_F(SignInOnTheService, FreshDeviceTransfersAPythonMadeAccount) {
    const Json::Value account = newAccount("fresh@example.test");
    login("fresh@example.test", kPassword, false);
    const std::vector<std::string> sent = paths();
    EXPECT_EQ(count(sent, "ua/accountTransfer"), 1u);
    EXPECT_EQ(count(sent, "ua/login/"), 0u);
    EXPECT_EQ(myPID->urn, account["urn"].asString());
    EXPECT_EQ(myUser->id, account["user"]["id"].asInt64());
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));
    EXPECT_TRUE(globalState.credentials.recoveryUpdateNeeded); // the SID came from the service
    EXPECT_TRUE(loggedIn());

    // A wrong password is refused by the service.
    mdClearAll(false);
    setMds(service.servers.at(0), service.servicePublicKey);
    cacheLoginParameters.clear();
    const VxMetaException refused = failureOf([] { login("fresh@example.test", "wrong", false); });
    EXPECT_EQ(refused.reason, VXMEREASON_CREDENTIALS);
    EXPECT_FALSE(loggedIn());
}

TEST_F(SignInOnTheService, HeldAccountSignsInOfflineAndAnotherAddressDoesNot) {
    const Json::Value account = newAccount("away@example.test");
    login("away@example.test", kPassword, false);
    ASSERT_TRUE(loggedIn());
    logout();
    lastCheckDomain.clear();
    cacheLoginParameters.clear();
    Json::Value down;
    down["kind"] = "down";
    service.fault(down);

    auto signIn = [](const std::string& email) { HighAvailability([&] { login(email, kPassword, false); }); };
    signIn("away@example.test");
    EXPECT_TRUE(loggedIn());
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));

    logout();
    const VxMetaException other = failureOf([&] { signIn("Away@example.test"); });
    EXPECT_EQ(other.category, VXMECAT_COMMUNICATION_ERROR);
    EXPECT_FALSE(loggedIn());
}

TEST_F(SignInOnTheService, UnknownAddressAndMigrationFailuresCarryTheirTexts) {
    const VxMetaException unknown = failureOf([] { login("nobody@example.test", kPassword, false); });
    EXPECT_EQ(unknown.category, VXMECAT_NOTFOUND);
    EXPECT_EQ(unknown.message, "unknown email");

    newAccount("mover@example.test");
    mustMigrate("", "mover@example.test", service.satellite, service.satellitePublicKey);
    const VxMetaException mustMove = failureOf([] { login("mover@example.test", kPassword, false); });
    EXPECT_EQ(mustMove.category, VXMECAT_MIGRATION_REQUIRED);
    EXPECT_EQ(mustMove.message, "Account mover@example.test must migrate to server north");
    EXPECT_EQ(service.call("GET", "/login")["migrationChecks"].asInt(), 1);
    Credentials scratch;
    EXPECT_TRUE(getLoginParameters("mover@example.test", scratch, true));

    newAccount("stay@example.test");
    const VxMetaException moved = failureOf([] {
        Credentials other;
        getLoginParameters("stay@example.test", other, true);
    });
    EXPECT_EQ(moved.category, VXMECAT_ALREADY_MIGRATED);
    EXPECT_EQ(moved.message, "Account stay@example.test already migrated");
}

TEST_F(SignInOnTheService, TheAuthorizedServerOfADomainTakesOverWithItsKey) {
    nameServer("", "sat.test", service.satellite, service.satellitePublicKey);
    nameServer("/satellite", "sat.test", service.satellite + "/api/v1.0/", service.satellitePublicKey);
    const Json::Value account = newAccount("bea@sat.test", "/satellite");

    login("bea@sat.test", kPassword, false);
    EXPECT_EQ(selectedBase(), service.satellite);
    EXPECT_EQ(globalState.mdsPubkey, service.satellitePublicKey);
    EXPECT_EQ(myPersists->setPrefix, service.satellite);
    EXPECT_EQ(myPersists->cmdsPrefix, service.satellite);
    EXPECT_EQ(globalState.myPrikey, base64_decode(account["privateKey"].asString()));
    const std::vector<std::string> onSatellite = paths("/satellite");
    EXPECT_EQ(count(onSatellite, "ua/getAuthorizedServer"), 1u); // the confirmation
    EXPECT_EQ(count(onSatellite, "ua/accountTransfer"), 1u);
    EXPECT_EQ(count(paths(), "ua/loginParameters/"), 0u);
}

TEST_F(SignInOnTheService, AFailedConfirmationPutsServerKeyAndPrefixesBack) {
    const std::string home = service.servers.at(0);
    myPersists->cmdsPrefix = home;
    myPersists->setPrefix = home;
    nameServer("", "sat.test", service.satellite, service.satellitePublicKey);
    Json::Value down;
    down["kind"] = "down";
    service.call("POST", "/satellite/fault", jsonString(down));

    const VxMetaException unreachable = failureOf([] { checkDomain("ann@sat.test"); });
    EXPECT_EQ(unreachable.category, VXMECAT_COMMUNICATION_ERROR);
    EXPECT_EQ(selectedBase(), home);
    EXPECT_EQ(globalState.mdsPubkey, service.servicePublicKey);
    EXPECT_EQ(myPersists->mdsPubkey, service.servicePublicKey);
    EXPECT_EQ(myPersists->setPrefix, home);
    EXPECT_EQ(myPersists->cmdsPrefix, home);

    // The satellite does not know the domain: put back, then the built-in key as for any domain
    // without a server of its own.
    service.reset();
    service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
    nameServer("", "sat.test", service.satellite, service.satellitePublicKey);
    lastCheckDomain.clear();
    checkDomain("ann@sat.test");
    EXPECT_EQ(selectedBase(), home);
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_EQ(myPersists->setPrefix, home);
}

TEST_F(SignInOnTheService, ServersNamingEachOtherEndAndAReplyWithoutKeyChangesNothing) {
    const std::string home = service.servers.at(0);
    nameServer("", "loop.test", service.satellite, service.satellitePublicKey);
    nameServer("/satellite", "loop.test", home, service.servicePublicKey);
    const VxMetaException loop = failureOf([] { checkDomain("loop.test"); });
    EXPECT_EQ(loop.category, VXMECAT_PROTOCOL);
    EXPECT_EQ(selectedBase(), home);
    EXPECT_EQ(globalState.mdsPubkey, service.servicePublicKey);

    Json::Value keyless;
    keyless["domain"] = "nokey.test";
    keyless["reply"]["url"] = service.satellite;
    service.call("POST", "/domains", jsonString(keyless));
    checkDomain("nokey.test");
    EXPECT_EQ(selectedBase(), home);
    EXPECT_EQ(globalState.mdsPubkey, service.servicePublicKey);
}

TEST_F(SignInOnTheService, IdentitiesByForwardedAddressAndByUrnThroughTheCache) {
    const Json::Value carol = newAccount("Carol@Example.test");
    nameServer("", "sat.test", service.satellite, service.satellitePublicKey);

    // A registered address: the service's directory record joins the directory.
    std::shared_ptr<XPID> found = userLookupUrn("email!carol@example.test");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->urn, carol["urn"].asString());
    EXPECT_TRUE(found->verifySignature());
    ASSERT_EQ(myXPIDs->size(), 1u);
    // Matched by address in any letter case, from the directory: no request.
    clock->advanceSeconds(2);
    const size_t asked = count(paths(), "aa/userOrServer");
    EXPECT_EQ(userLookupUrn("email!CAROL@example.TEST"), found);
    EXPECT_EQ(count(paths(), "aa/userOrServer"), asked);

    // An address of a domain with its own server: that server's key, stored nowhere.
    std::shared_ptr<XPID> server = userLookupUrn("email!dan@sat.test");
    ASSERT_TRUE(server);
    EXPECT_EQ(server->urn, "email!dan@sat.test");
    EXPECT_EQ(server->pubkey, service.satellitePublicKey);
    EXPECT_EQ(myXPIDs->size(), 1u);

    // Not found is cached for 2 s too.
    EXPECT_FALSE(userLookupUrn("email!nobody@example.test"));
    EXPECT_FALSE(userLookupUrn("email!nobody@example.test"));
    EXPECT_EQ(count(paths(), "aa/userOrServer"), asked + 2);
    clock->advanceSeconds(2);
    EXPECT_FALSE(userLookupUrn("email!nobody@example.test"));
    EXPECT_EQ(count(paths(), "aa/userOrServer"), asked + 3);

    // The URN form asks the directory once; the own URN never asks.
    Json::Value identity;
    identity["record"]["urn"] = "urn:vx:user/zed";
    identity["record"]["email"] = "zed@example.test";
    identity["record"]["pubkey"] = service.satellitePublicKey;
    service.call("POST", "/records/xpid", jsonString(identity));
    EXPECT_EQ(pubkeyLookupUrn("urn:vx:user/zed"), service.satellitePublicKey);
    EXPECT_EQ(pubkeyLookupUrn("urn:vx:user/zed"), service.satellitePublicKey);
    EXPECT_EQ(count(paths(), "xpid"), 1u);
    {
        LockScope lock(masterMutex);
        myPID->urn = "urn:vx:user/me";
        myPID->pubkey = "V2-mine";
    }
    const size_t before = service.log().size();
    EXPECT_EQ(pubkeyLookupUrn("urn:vx:user/me"), "V2-mine");
    EXPECT_EQ(service.log().size(), before);
}

TEST_F(SignInOnTheService, OwnPidIsFoundByAddress) {
    const Json::Value account = newAccount("self@example.test");
    EXPECT_EQ(failureOf([] { findMyPID("self@example.test"); }).message, "Cannot get PID without private key");
    login("self@example.test", kPassword, false);
    {
        LockScope lock(masterMutex);
        myPID = std::make_shared<PID>();
        myPID->urn = account["urn"].asString();
    }
    std::shared_ptr<PID> pid = findMyPID("self@example.test");
    EXPECT_EQ(pid, myPID);
    EXPECT_EQ(pid->id, account["id"].asInt64());
    EXPECT_EQ(pid->email, "self@example.test");
    EXPECT_EQ(myUser->id, account["id"].asInt64());
}

} // namespace
