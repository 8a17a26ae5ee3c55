// The API object without the service: the device identity rule, the configuration setters, the
// locker switch, the user's etag through the failover wrapper, the ownership reset of a device that
// belonged to another account, and the recovery cipher against a vector made by Python
// `cryptography`.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/api/recovery_material.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_info.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "support/fails_with.h"

using namespace VxMeta;
using VxMetaTest::failsWith;

namespace {

class ApiObject : public ::testing::Test {
protected:
    void SetUp() override {
        init();
        mdClearAll(false);
    }
    void TearDown() override {
        mdClearAll(false);
        for (std::string* text : {&appName, &appVersion, &deviceName, &platformType, &platformVersion,
                                  &platformSubtype, &terminal_name})
            text->clear();
        appCapabilities.clear();
        setForScopes.clear();
        knownFeatures.clear();
        vmLogLevel = 4;
    }
};

TEST_F(ApiObject, DeviceIdentifierMustBeginWithThePlatformsFirstLettersInUpperCase) {
    struct Case {
        const char* guid;
        const char* name;
        const char* platform;
        const char* refusal; // empty: accepted
    };
    const Case cases[] = {
        {"LIN-0F1E", "desk", "Linux", ""},
        {"LIN-0F1E", "desk", "linux", ""},
        {"LIN", "desk", "Linux", ""},
        {"AB-1", "desk", "ab", ""},
        {"lin-0F1E", "desk", "Linux", "You must provide a prefix on the GUID"},
        {"X-LIN-0F1E", "desk", "Linux", "You must provide a prefix on the GUID"},
        {"LI", "desk", "Linux", "You must provide a prefix on the GUID"},
        {"ab-1", "desk", "ab", "You must provide a prefix on the GUID"},
        {"", "", "", "guid cannot be empty"},
        {"LIN-1", "", "", "name cannot be empty"},
        {"LIN-1", "desk", "", "platform cannot be empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.guid) + " / " + c.platform);
        Vorlane api;
        api.setDeviceInfo("KEP-1", "kept", "Kept", "1", "k");
        try {
            api.setDeviceInfo(c.guid, c.name, c.platform, "12", "x86_64");
            EXPECT_STREQ(c.refusal, "");
            EXPECT_EQ(api.givenDeviceGuid, c.guid);
            EXPECT_EQ(api.givenDeviceName, c.name);
            EXPECT_EQ(deviceName, c.name);
            EXPECT_EQ(platformType, c.platform);
            EXPECT_EQ(platformVersion, "12");
            EXPECT_EQ(platformSubtype, "x86_64");
        } catch (const VxMetaException& refused) {
            EXPECT_EQ(refused.category, VXMECAT_CLIENT);
            EXPECT_EQ(refused.message, c.refusal);
            EXPECT_EQ(api.givenDeviceGuid, "KEP-1");
            EXPECT_EQ(api.givenDeviceName, "kept");
            EXPECT_EQ(platformType, "Kept");
        }
        // The terminal name is the first device name given.
        EXPECT_EQ(terminal_name, "kept");
    }
}

TEST_F(ApiObject, SettersReplaceWholeSets) {
    Vorlane api;
    api.setAppInfo("Reader", "1.0", {"zip", "7z"});
    EXPECT_EQ(appCapabilities, (std::set<std::string>{"7z", "zip"}));
    api.setAppInfo("Reader", "1.1", {});
    EXPECT_EQ(appName, "Reader");
    EXPECT_EQ(appVersion, "1.1");
    EXPECT_TRUE(appCapabilities.empty());

    api.setScopesAndKnownFeatures({"3.0"}, {"Deleted Lockers"});
    api.setScopesAndKnownFeatures({"4.0"}, {});
    EXPECT_EQ(setForScopes, (std::set<std::string>{"4.0"}));
    EXPECT_TRUE(knownFeatures.empty());

    api.setLogLevel(1);
    EXPECT_EQ(vmLogLevel, 1);
}

TEST_F(ApiObject, LockerSupportIsSwitchedOnOnce) {
    Vorlane api;
    myPersists->localDirty = false;
    api.enableLockerSupport();
    EXPECT_TRUE(myPersists->lockerActive);
    EXPECT_TRUE(myPersists->localDirty);
    myPersists->localDirty = false;
    api.enableLockerSupport();
    EXPECT_FALSE(myPersists->localDirty);

    myPersists->ltag = 7;
    myPersists->lockerConfig = "{\"lockers\":[]}";
    EXPECT_EQ(api.getLockerTag(), 7);
    EXPECT_EQ(api.getLockerJSON(), "{\"lockers\":[]}");
}

TEST_F(ApiObject, UserEtagIsTheSameThroughTheWrapperAndKeepsItsSign) {
    Vorlane api;
    myUser->etag = -5;
    RawVorlane& raw = api;
    EXPECT_EQ(api.getUserETag(), -5);
    EXPECT_EQ(raw.RawVorlane::getUserETag(), -5);
    EXPECT_EQ(raw.getUserETag(), -5); // the virtual call reaches the wrapper
}

TEST_F(ApiObject, ChangesWereNotSavedHandsOutTheLastChangesOnlySaveAgain) {
    Vorlane api;
    const SerialListPtr untouched = api.serializeAll(true);
    mdClearAll(false);
    api.changesWereNotSaved(); // before any changes-only save: nothing to hand out again
    const SerialListPtr first = api.serializeAll(true);
    ASSERT_EQ(first->size(), untouched->size());
    api.changesWereNotSaved();
    const SerialListPtr again = api.serializeAll(true);
    ASSERT_EQ(again->size(), first->size());
    for (size_t i = 0; i < again->size(); ++i) EXPECT_EQ((*again)[i]->name, (*first)[i]->name);
}

TEST_F(ApiObject, DeviceOfAnotherAccountIsResetWithoutItsRecoveryData) {
    struct Case {
        const char* owner;
        int64_t ownerid;
        bool managed;
    };
    for (const Case& c : {Case{"urn:vx:user/a", 0, false}, Case{"urn:vx:user/b", 9, false},
                          Case{"urn:vx:user/a", 0, true}}) {
        SCOPED_TRACE(c.owner);
        mdClearAll(false);
        {
            LockScope lock(masterMutex);
            myPID->urn = "urn:vx:user/b";
            myPID->id = 3;
            myUser->isManagedAccount = c.managed;
            myDevice->id = 7;
            myDevice->owner = c.owner;
            myDevice->ownerid = c.ownerid;
            myDevice->urn = "LIN-1";
            myDevice->recovery_code = "old code";
            myDevice->recovery_cipher = "old cipher";
        }
        RawVorlane api; // no identity given: only the reset runs, nothing is sent
        api.autoMapDevice();
        LockScope lock(masterMutex);
        EXPECT_EQ(myDevice->id, 0);
        EXPECT_TRUE(myDevice->owner.empty());
        EXPECT_TRUE(myDevice->urn.empty());
        EXPECT_TRUE(myDevice->recovery_code.empty());
        EXPECT_TRUE(myDevice->recovery_cipher.empty());
        EXPECT_EQ(globalState.credentials.recoveryUpdateNeeded, !c.managed);
    }
}

TEST_F(ApiObject, DeviceOfThisAccountIsKept) {
    {
        LockScope lock(masterMutex);
        myPID->urn = "urn:vx:user/b";
        myPID->id = 3;
        myDevice->id = 7;
        myDevice->owner = "urn:vx:user/b";
        myDevice->ownerid = 3;
        myDevice->recovery_cipher = "kept";
    }
    RawVorlane api;
    api.autoMapDevice();
    LockScope lock(masterMutex);
    EXPECT_EQ(myDevice->id, 7);
    EXPECT_EQ(myDevice->recovery_cipher, "kept");
}

TEST_F(ApiObject, NameChangeInIsolatedModeIsKeptWithoutARequest) {
    {
        LockScope lock(masterMutex);
        globalState.isolatedMode = true;
        globalState.myPrikey = "held";
        myPID->urn = "urn:vx:user/b";
        myPID->name = "Before";
        myPID->localDirty = false;
        myPID->remoteDirty = false;
    }
    Vorlane api; // no transport: a request would fail
    api.changeName("After", false);
    api.changeEmail("after@example.test", false);
    EXPECT_EQ(api.getUserName(), "After");
    EXPECT_EQ(api.getUserEmail(), "after@example.test");
    LockScope lock(masterMutex);
    EXPECT_TRUE(myPID->localDirty);
    EXPECT_FALSE(myPID->remoteDirty);
}

TEST_F(ApiObject, ClusterAccessorsReadTheEvaluator) {
    Vorlane api;
    getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::ClusterInfo::fromJson(parseJson(R"({"members":[]})")),
                                            false);
    EXPECT_TRUE(api.getClusterServers().empty());
    api.setClusterDataCenter("north");
    EXPECT_EQ(api.getClusterDataCenter(), "north");
    getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::ClusterInfo::fromJson(parseJson(
                                                R"({"ctag":"ctag-7","members":[{"url":"https://b.example/mds"},)"
                                                R"({"url":"https://a.example/mds"}]})")),
                                            false);
    EXPECT_EQ(api.getClusterCtag(), "ctag-7");
    const std::vector<std::string> servers = api.getClusterServers();
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].rfind("https://b.example/mds", 0), 0u) << servers[0];
    EXPECT_EQ(servers[1].rfind("https://a.example/mds", 0), 0u) << servers[1];
}

TEST_F(ApiObject, RecoveryCipherMatchesThePythonVector) {
    // Made by Python `cryptography`: AES-256-CBC, key the decoded code, IV the code's first 16
    // characters, PKCS #7 padding, base64.
    const std::string code = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
    const std::string cipher = "MW9lEDEeXHfPmNeoVZcHm/NNGfeTlqYqU7Nd060XuTA=";
    EXPECT_EQ(recoveryCipherOf("correct horse \u00e4", code), cipher);
    EXPECT_EQ(passwordFromRecoveryCipher(cipher, code), "correct horse \u00e4");
    EXPECT_EQ(newRecoveryCode().size(), 44u);
    // A whole block of padding, as Python writes it for a 16-byte password.
    EXPECT_EQ(passwordFromRecoveryCipher("vYPtvscZT1Q2GRMnHWtWscF5WwB6496PYOatSSR7Gbg=", code), "sixteen-byte-pw!");
    EXPECT_EQ(passwordFromRecoveryCipher("6eJTkNf+ZjoguNOayqL4Fg==", code), "abcdefghijklmn");

    // Ciphers whose padding does not verify under the code are refused, never read as a password: the
    // cipher above under two other codes, and blocks that Python encrypted under the code unpadded
    // (last byte 3 after a 1, last byte 0, last byte 17), a cut cipher and no cipher at all.
    struct Refused {
        const char* cipher;
        const char* code;
    };
    const Refused refused[] = {
        {"MW9lEDEeXHfPmNeoVZcHm/NNGfeTlqYqU7Nd060XuTA=", "HxweHRwbGhkYFxYVFBMSERAPDg0MCwoJCAcGBQQDAgE="},
        {"MW9lEDEeXHfPmNeoVZcHm/NNGfeTlqYqU7Nd060XuTA=", "ICEiIyQlJicoKSorLC0uLzAxMjM0NTY3ODk6Ozw9Pj8="},
        {"/WYn3WRNrnBDm9/j3Ul8VQ==", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="},
        {"pEw2xMvjqmoGsvcNmSXYoQ==", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="},
        {"/UjDpuQta8imLOyPCidq7Q==", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="},
        {"MW9lEDEeXHfPmNeoVZcHm/NNGfeTlqYq", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="},
        {"", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(std::string(c.cipher) + " / " + c.code);
        EXPECT_TRUE(failsWith([&] { (void)passwordFromRecoveryCipher(c.cipher, c.code); }, VXMECAT_CLIENT,
                              kRecoveryCodeDoesNotOpen));
    }

    Vorlane api;
    api.setDeviceInfo("LIN-0F1E", "desk", "Linux", "12", "x86_64");
    RawVorlane::Helper helper(api);
    const Device& device = helper.createDevice("secret");
    EXPECT_EQ(device.urn, "LIN-0F1E");
    EXPECT_EQ(device.name, "desk");
    EXPECT_EQ(device.platform_type, "Linux");
    EXPECT_EQ(passwordFromRecoveryCipher(helper.recoveryCipher, device.recovery_code), "secret");
    helper.postCreateDevice();
    LockScope lock(masterMutex);
    EXPECT_EQ(myDevice->recovery_cipher, helper.recoveryCipher);
    EXPECT_TRUE(myDevice->localDirty);
}

} // namespace
