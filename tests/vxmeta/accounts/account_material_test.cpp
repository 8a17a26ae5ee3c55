// Account key material and account request bodies: what AccountInfoGenerator makes opens in Python
// (the private key in the SID, the SID locator and hash, the URN made from the key); the body members
// of Action for credentials, records and this device.
#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/fake_transport.h"
#include "vxmeta/accounts/account_info_generator.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/sync/meta_state.h"
#include "support/record_test_support.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;

namespace {

// The Python verdict on the generator's material.
std::string pythonVerdict(const AccountInfoGenerator& made, const std::string& password, bool derivedUrn) {
    Json::Value material;
    material["password"] = password;
    material["urn"] = made.pid.urn;
    material["pubkey"] = made.pid.pubkey;
    material["loginSalt"] = made.user.loginSalt;
    material["loginRounds"] = made.user.loginRounds;
    material["sidLocator"] = made.user.sidLocator;
    material["shash"] = made.sid.shash;
    material["prikey"] = made.sid.prikey;
    material["derivedUrn"] = derivedUrn;
    return VxMetaTest::checkWithVectorScript("account_material.py", material, "account_material.json");
}

class AccountMaterial : public ::testing::Test {
protected:
    void SetUp() override {
        init();
        mdClearAll(false);
        FakeTransport::answerAll(FakeReply(200, "{}"));
    }
    void TearDown() override {
        FakeTransport::uninstall();
        mdClearAll(false);
        deviceName.clear();
        appName.clear();
        appVersion.clear();
        platformType.clear();
    }
};

TEST_F(AccountMaterial, NewKeysOpenInPythonAndTwoGenerationsDiffer) {
    const std::string password = "p\u00e4ss word";
    AccountInfoGenerator first(password, false, "");
    EXPECT_EQ(pythonVerdict(first, password, true), "valid\n");
    EXPECT_EQ(first.sid.version, "V3");
    EXPECT_TRUE(first.sid.remoteDirty && first.user.remoteDirty);
    EXPECT_EQ(first.getCredentials().getURN(), first.pid.urn);
    EXPECT_TRUE(first.getCredentials().getChallenge().empty());

    AccountInfoGenerator second(password, false, "");
    EXPECT_NE(second.pid.urn, first.pid.urn);
    AccountInfoGenerator named("other", false, "urn:vx:user/named");
    EXPECT_EQ(named.pid.urn, "urn:vx:user/named");
    EXPECT_EQ(pythonVerdict(named, "other", false), "valid\n");

    named.setMyPrikey();
    EXPECT_EQ(globalState.myPrikey, named.privateKey);
}

TEST_F(AccountMaterial, ReusingTheKeysNeedsTheDecryptedKey) {
    bool failed = false;
    try {
        AccountInfoGenerator reuse("new password", true, "");
    } catch (const VxMetaException& e) {
        failed = true;
        EXPECT_EQ(e.category, VXMECAT_INTERNAL);
        EXPECT_EQ(e.message, "Cannot reencrypt private key - it isn't decrypted");
    }
    EXPECT_TRUE(failed);

    AccountInfoGenerator original("old password", false, "urn:vx:user/me");
    {
        LockScope lock(masterMutex);
        *myPID = original.pid;
        globalState.myPrikey = original.privateKey;
    }
    AccountInfoGenerator changed("new password", true, "");
    EXPECT_EQ(changed.pid.pubkey, original.pid.pubkey);
    EXPECT_EQ(changed.privateKey, original.privateKey);
    EXPECT_NE(changed.user.loginSalt, original.user.loginSalt);
    EXPECT_EQ(pythonVerdict(changed, "new password", false), "valid\n");
}

TEST_F(AccountMaterial, ActionBodyMembers) {
    std::string publicKey;
    std::string privateKey;
    generateRSAKeys(publicKey, privateKey);
    setMdsPubkey(publicKey);
    deviceName = "desk";
    appName = "Reader";
    platformType = "Linux";
    {
        LockScope lock(masterMutex);
        myDevice->id = 7;
        myDevice->owner = "urn:a";
        myDevice->urn = "device-urn";
    }

    // The device registered to the owner asked for: its id, no name.
    Action own;
    own.encodeDeviceAppPlatformInfo("urn:a");
    Json::Value body = parseJson(own.toJson());
    EXPECT_EQ(body["deviceId"].asInt64(), 7);
    EXPECT_FALSE(body.isMember("deviceName"));
    EXPECT_EQ(body["appName"].asString(), "Reader");
    EXPECT_FALSE(body.isMember("appVersion"));
    EXPECT_EQ(body["platform"].asString(), "Linux");

    // Another owner: the device is registered again, by name.
    Action other;
    other.encodeDeviceAppPlatformInfo("urn:b");
    body = parseJson(other.toJson());
    EXPECT_FALSE(body.isMember("deviceId"));
    EXPECT_EQ(body["deviceName"].asString(), "desk");
    EXPECT_EQ(myDevice->id, 0);
    EXPECT_EQ(myDevice->urn, "");

    // Credentials without a challenge signature send neither challenge nor signature; the token is
    // wrapped for the service's key; a second encode replaces the members.
    Credentials credentials;
    credentials.setPassword("pw");
    credentials.setParameters("urn:a", "c2FsdA==", 1000, "");
    Action login;
    login.encode(credentials);
    body = parseJson(login.toJson());
    EXPECT_FALSE(body.isMember("challenge") || body.isMember("signature"));
    EXPECT_EQ(body["loginSalt"].asString(), "c2FsdA==");
    EXPECT_EQ(body["loginRounds"].asInt(), 1000);
    EXPECT_EQ(RSAdecryptOther(body["loginToken"].asString(), privateKey, 4), credentials.getLoginToken(""));
    credentials.setSavedPrivateKey(privateKey);
    credentials.setChallenge("challenge text");
    login.encode(credentials);
    login.encode("urn", "first");
    login.encode("urn", "second");
    body = parseJson(login.toJson());
    EXPECT_EQ(body["challenge"].asString(), "challenge text");
    EXPECT_EQ(body["signature"].asString(), credentials.getSignature());
    EXPECT_EQ(body["urn"].asString(), "second");
    EXPECT_EQ(login.toJson().back(), '\n');

    // A record under its stem, in its server form.
    Device device;
    device.id = 9;
    Action records;
    records.encode(device);
    body = parseJson(records.toJson());
    EXPECT_EQ(body["device"], device.toJSONValue(true));
}

} // namespace
