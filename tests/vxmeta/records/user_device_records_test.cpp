// The user and device records: their forms, the members that only this client keeps, the merge
// of service copies and the signature rules.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/record_test_support.h"
#include "support/signing_fixture.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/user.h"

using namespace VxMeta;
using VxMetaTest::canonical;
using VxMetaTest::json;
using VxMetaTest::ownUrn;
using VxMetaTest::testKeys;

namespace {

class UserAndDevice : public VxMetaTest::LoggedInUser {};

std::vector<std::string> keysOf(const Json::Value& value) { return value.getMemberNames(); }

TEST_F(UserAndDevice, UserForms) {
    User user;
    EXPECT_EQ(user.fetch_max, 400);
    EXPECT_EQ(user.small_sync_threshold, 500000);
    EXPECT_EQ(user.large_sync_threshold, 2000000);

    const Json::Value server = user.toJSONValue(true);
    EXPECT_EQ(keysOf(server), (std::vector<std::string>{"email_pending", "id", "record", "signature"}));
    EXPECT_EQ(jsonString(server["record"]), R"({"revision":1})");
    EXPECT_TRUE(verifyTextNoExceptions(R"({"revision":1})", server["signature"].asString(), testKeys().publicKey));

    user.loginRounds = 50000;
    user.loginSalt = "salt";
    user.sidLocator = "V5-loc";
    user.sproxy = "sp";
    user.changed();
    EXPECT_EQ(jsonString(user.toJSONValue(true)["record"]),
              R"({"loginRounds":50000,"loginSalt":"salt","revision":2,"sidLocator":"V5-loc","sproxy":"sp"})");

    EXPECT_EQ(keysOf(user.toJSONValue(false)),
              (std::vector<std::string>{"allow_access", "authenticated", "ca", "created_at", "dataCenter",
                                        "email_pending", "etag", "expectedEtag", "fetch_max", "groupTag",
                                        "homeServer", "id", "isManagedAccount", "large_sync_threshold",
                                        "last_sweep", "now", "originator", "owner", "ownerid", "record",
                                        "remoteDirty", "sidurl", "signature", "small_sync_threshold",
                                        "stagingFlags", "team_id", "updated_at"}));
}

// A service copy of the user record: it never carries the members of this client's synchronization.
const char* const userReply = R"({"id":9,"owner":"urn:vx:user/own","etag":17,"authenticated":true,
    "allow_access":true,"email_pending":false,"now":"2024-05-01T10:00:00Z","homeServer":"h1",
    "record":{"revision":4,"loginRounds":1000,"loginSalt":"s"},"signature":"V2-abc"})";

User heldUser() {
    User user;
    user.expectedEtag = 16;
    user.last_sweep = "2024-04-01";
    user.fetch_max = 50;
    user.small_sync_threshold = 1;
    user.large_sync_threshold = 2;
    user.stagingFlags = 3;
    return user;
}

TEST_F(UserAndDevice, UserReadKeepsTheClientsOwnValues) {
    User user = heldUser();
    ASSERT_TRUE(user.update(std::string(userReply)));
    EXPECT_EQ(user.etag, 17);
    EXPECT_EQ(user.loginRounds, 1000);
    EXPECT_EQ(user.revision, 4);
    EXPECT_EQ(user.expectedEtag, 16);
    EXPECT_EQ(user.last_sweep, "2024-04-01");
    EXPECT_EQ(user.fetch_max, 50);
    EXPECT_EQ(user.small_sync_threshold, 1);
    EXPECT_EQ(user.large_sync_threshold, 2);
    EXPECT_EQ(user.stagingFlags, 3);

    ASSERT_TRUE(user.update(std::string(R"({"id":9,"record":{}})")));
    EXPECT_EQ(user.etag, 0);
    EXPECT_FALSE(user.allow_access);
    EXPECT_FALSE(user.isManagedAccount);
    EXPECT_EQ(user.expectedEtag, 16);
}

TEST_F(UserAndDevice, UserMerge) {
    User held = heldUser();
    ASSERT_TRUE(held.update(std::string(userReply)));
    held.localDirty = false;
    held.remoteDirty = true;
    held.originator = true;

    // Differs only in what this client keeps: nothing changes but remoteDirty.
    User same;
    ASSERT_TRUE(same.update(std::string(userReply)));
    same.expectedEtag = 99;
    same.fetch_max = 1;
    same.last_sweep = "x";
    const std::string before = held.toJSON(false);
    held.copyUpdate(same);
    EXPECT_FALSE(held.remoteDirty);
    EXPECT_FALSE(held.localDirty);
    EXPECT_EQ(held.expectedEtag, 16);
    EXPECT_EQ(json(held.toJSON(false))["etag"], json(before)["etag"]);

    User changed;
    ASSERT_TRUE(changed.update(std::string(userReply)));
    changed.etag = 18;
    changed.revision = 5;
    changed.verified = 1;
    changed.expectedEtag = 0;
    held.remoteDirty = true;
    held.copyUpdate(changed);
    EXPECT_EQ(held.etag, 18);
    EXPECT_EQ(held.revision, 5);
    EXPECT_EQ(held.verified, 1);
    EXPECT_TRUE(held.originator);
    EXPECT_EQ(held.expectedEtag, 16);
    EXPECT_EQ(held.fetch_max, 50);
    EXPECT_TRUE(held.localDirty);
    EXPECT_FALSE(held.remoteDirty);
    EXPECT_EQ(changed.expectedEtag, 16); // the fresh copy is left holding the kept members
}

TEST_F(UserAndDevice, UserIsVerifiedWithItsOwnersKey) {
    User user;
    user.owner = ownUrn;
    user.loginSalt = "s";
    const std::string server = user.toJSON(true);

    User read;
    ASSERT_TRUE(read.update(server));
    read.owner = ownUrn;
    EXPECT_TRUE(read.verifySignature());
    // Another owner is looked up on the service, which is not reachable here: that failure is thrown
    // on, not read as a bad signature.
    read.owner = "urn:vx:user/unknown";
    EXPECT_THROW(static_cast<void>(read.verifySignature()), VxMetaException);
    read.owner = ownUrn;
    read.recordText += " ";
    EXPECT_FALSE(read.verifySignature());
}

Device newDevice() {
    Device device;
    device.owner = ownUrn;
    device.platform_type = "Linux";
    device.urn = "LIN-1234";
    device.name = "desk";
    device.app_name = "Reader";
    device.app_version = "1.0";
    device.recovery_code = "rc";
    device.recovery_cipher = "V6-secret";
    return device;
}

TEST_F(UserAndDevice, DeviceForms) {
    Device device = newDevice();
    EXPECT_TRUE(device.allow_access);
    const Json::Value server = device.toJSONValue(true);
    EXPECT_EQ(keysOf(server), (std::vector<std::string>{"app_name", "app_version", "id", "record", "recovery_code",
                                                        "signature"}));
    EXPECT_EQ(jsonString(server["record"]),
              canonical(R"({"owner":"urn:vx:user/own","platform_type":"Linux","platform_subtype":"",
                  "platform_version":"","urn":"LIN-1234","name":"desk","owner_disabled":false,"revision":1})"));
    const Json::Value local = device.toJSONValue(false);
    EXPECT_EQ(local["recovery_cipher"].asString(), "V6-secret");
    EXPECT_TRUE(local["allow_access"].asBool());
    for (const char* key : {"created_at", "updated_at", "appComplianceEtag", "ownerid"})
        EXPECT_TRUE(local.isMember(key)) << key;
    // The recovery code, the key of the cipher beside it, is never stored; a device that does not know
    // its code sends none rather than an empty one.
    EXPECT_FALSE(local.isMember("recovery_code"));
    device.recovery_code.clear();
    EXPECT_FALSE(device.toJSONValue(true).isMember("recovery_code"));
}

TEST_F(UserAndDevice, DeviceReadAndMerge) {
    Device held = newDevice();
    const std::string server = held.toJSON(true);

    // A reply without "allow_access" reads as not allowed; the recovery cipher never leaves.
    ASSERT_TRUE(held.update(server));
    EXPECT_FALSE(held.allow_access);
    EXPECT_EQ(held.recovery_cipher, "V6-secret");

    Device fresh;
    ASSERT_TRUE(fresh.update(server));
    fresh.recovery_cipher = "V6-other";
    EXPECT_FALSE(held != fresh); // the cipher is not compared
    fresh.allow_access = true;
    EXPECT_TRUE(held != fresh);
    held.copyUpdate(fresh);
    EXPECT_TRUE(held.allow_access);
    EXPECT_EQ(held.recovery_cipher, "V6-secret");
}

TEST_F(UserAndDevice, DeviceIsVerifiedWithTheOwnIdentityKey) {
    Device device = newDevice();
    Device read;
    ASSERT_TRUE(read.update(device.toJSON(true)));
    EXPECT_TRUE(read.verifySignature());
    read.recordText.replace(read.recordText.find("desk"), 4, "dusk");
    EXPECT_FALSE(read.verifySignature());

    Device anonymous;
    anonymous.signature = "V2-garbage";
    anonymous.recordText = "anything";
    EXPECT_TRUE(anonymous.verifySignature()); // no URN: nothing to check

    myPID->pubkey.clear();
    EXPECT_FALSE(read.verifySignedValue());
}

TEST_F(UserAndDevice, IdentityAndPaths) {
    User user;
    user.owner = "urn:o";
    EXPECT_EQ(user.getSuffix(), "user/");
    user.id = 12;
    EXPECT_EQ(user.getSuffix(), "user/12/");
    EXPECT_EQ(user.geturn(), "urn:o");
    Device device;
    device.urn = "LIN-x";
    EXPECT_EQ(device.getSuffix(), "device/");
    device.id = 3;
    EXPECT_EQ(device.idstr(), "3");
    EXPECT_EQ(device.geturn(), "LIN-x");
}

} // namespace
