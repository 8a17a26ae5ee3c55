// The identity records: the signed PID (forms, signature, change, merge, interop with an
// independent implementation of the format) and the signing rules of the logged-in user.
#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>


#include <gtest/gtest.h>

#include "support/record_test_support.h"
#include "support/signing_fixture.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_signing.h"
#include "support/temp_path.h"

using namespace VxMeta;
using VxMetaTest::canonical;
using VxMetaTest::json;
using VxMetaTest::testKeys;

namespace {

class IdentityRecords : public VxMetaTest::LoggedInUser {};

PID newIdentity() {
    PID pid;
    pid.urn = "urn:vx:user/u";
    pid.name = "n";
    pid.email = "e@example.test";
    pid.pubkey = testKeys().publicKey;
    return pid;
}

std::string runPython(const std::string& arguments, int& status) {
    return VxMetaTest::runVectorScript("signed_identity.py", arguments, status);
}

bool pythonVerifies(const std::string& serverForm) {
    // One file per process: other test programs, and other checkouts, run beside this one.
    const std::string path = VxMetaTest::processTempPath("identity_record.json");
    std::ofstream(path, std::ios::binary) << serverForm;
    int status = -1;
    const std::string verdict = runPython("verify " + path, status);
    std::remove(path.c_str());
    return status == 0 && verdict == "valid\n";
}

TEST_F(IdentityRecords, ServerAndLocalFormsOfANewIdentity) {
    PID pid = newIdentity();
    const Json::Value server = pid.toJSONValue(true);
    EXPECT_EQ(server.getMemberNames(), (std::vector<std::string>{"id", "record", "signature"}));
    EXPECT_EQ(server["id"].asInt64(), 0);
    EXPECT_EQ(jsonString(server["record"]),
              canonical(R"({"email":"e@example.test","name":"n","pubkey":")" + testKeys().publicKey +
                        R"(","revision":1,"urn":"urn:vx:user/u"})"));
    EXPECT_EQ(pid.recordText, jsonString(server["record"]));
    EXPECT_TRUE(verifyTextNoExceptions(pid.recordText, server["signature"].asString(), testKeys().publicKey));
    EXPECT_TRUE(pid.localDirty);

    const Json::Value local = pid.toJSONValue(false);
    EXPECT_EQ(local.getMemberNames(), (std::vector<std::string>{"created_at", "forwarding_urn", "id", "originator",
                                                                "record", "remoteDirty", "signature", "updated_at"}));
    EXPECT_EQ(local["record"], server["record"]); // a signed record is written as signed, not signed again
    EXPECT_EQ(local["signature"], server["signature"]);

    pid.url = "https://id.example.test";
    pid.changed();
    EXPECT_EQ(pid.toJSONValue(true)["record"]["url"].asString(), "https://id.example.test");
}

TEST_F(IdentityRecords, ReadBackVerifiesAndOneChangedCharacterFails) {
    PID written = newIdentity();
    const std::string server = written.toJSON(true);

    PID read;
    ASSERT_TRUE(read.update(server));
    EXPECT_EQ(read.recordText, written.recordText);
    EXPECT_TRUE(read.verifySignature());

    const size_t at = read.recordText.find("\"name\":\"n\"");
    ASSERT_NE(at, std::string::npos);
    read.recordText[at + 9] = 'm';
    EXPECT_FALSE(read.verifySignature());
}

TEST_F(IdentityRecords, SignatureRuleEdges) {
    PID unsignedEmpty; // no record text, no signature
    EXPECT_TRUE(unsignedEmpty.verifySignature());

    PID noKey = newIdentity();
    noKey.toJSONValue(true);
    noKey.pubkey.clear();
    EXPECT_FALSE(noKey.verifySignature());

    PID decodedFromNothing;
    ASSERT_TRUE(decodedFromNothing.update(json("{}")));
    EXPECT_EQ(decodedFromNothing.recordText, "null");
    EXPECT_EQ(decodedFromNothing.signature, "");
    EXPECT_EQ(decodedFromNothing.urn, "");
    EXPECT_EQ(decodedFromNothing.revision, 0);
}

TEST_F(IdentityRecords, ChangedSignsANewRevisionAndEditsAloneDoNotReachTheJson) {
    PID pid = newIdentity();
    const Json::Value first = pid.toJSONValue(true);
    const std::string firstText = pid.recordText;

    pid.name = "renamed";
    EXPECT_EQ(pid.toJSONValue(true), first); // the stored record text is sent byte for byte

    pid.localDirty = false;
    pid.remoteDirty = false;
    pid.changed();
    EXPECT_TRUE(pid.localDirty);
    EXPECT_TRUE(pid.remoteDirty);
    EXPECT_EQ(pid.revision, 2);
    EXPECT_EQ(pid.signature, "");
    const Json::Value second = pid.toJSONValue(true);
    EXPECT_NE(pid.recordText, firstText);
    EXPECT_EQ(second["record"]["revision"].asInt(), 2);
    EXPECT_EQ(second["record"]["name"].asString(), "renamed");
    EXPECT_NE(second["signature"], first["signature"]);
    EXPECT_TRUE(pid.verifySignature());
}

TEST_F(IdentityRecords, ForwardingUrnStaysOnThisClient) {
    PID held = newIdentity();
    held.forwarding_urn = "email!e@example.test";
    held.originator = true;
    const std::string server = held.toJSON(true);
    EXPECT_EQ(server.find("forwarding_urn"), std::string::npos);

    ASSERT_TRUE(held.update(server));
    EXPECT_EQ(held.forwarding_urn, "email!e@example.test");

    PID fresh;
    ASSERT_TRUE(fresh.update(server));
    fresh.name = "other";
    fresh.forwarding_urn = "email!other";
    EXPECT_TRUE(held != fresh);
    held.copyUpdate(fresh);
    EXPECT_EQ(held.name, "other");
    EXPECT_EQ(held.forwarding_urn, "email!e@example.test");
    EXPECT_TRUE(held.originator);

    PID same = held;
    same.forwarding_urn = "ignored";
    EXPECT_FALSE(held != same);
}

TEST_F(IdentityRecords, AnIdentitySignedInPythonVerifiesHere) {
    int status = -1;
    const std::string made = runPython("make", status);
    ASSERT_EQ(status, 0) << made;
    PID pid;
    ASSERT_TRUE(pid.update(made));
    EXPECT_EQ(pid.id, 42);
    EXPECT_EQ(pid.revision, 3);
    EXPECT_EQ(pid.idstr(), "42");
    EXPECT_TRUE(pid.verifySignature());
    EXPECT_EQ(pid.toJSONValue(true)["record"], json(made)["record"]);

    const size_t at = pid.recordText.find("zoe@");
    ASSERT_NE(at, std::string::npos);
    pid.recordText[at] = 'Z';
    EXPECT_FALSE(pid.verifySignature());
}

TEST_F(IdentityRecords, AnIdentitySignedHereVerifiesInPython) {
    PID pid = newIdentity();
    pid.name = "Zo\xc3\xab / \x7f \xf0\x9f\x98\x80";
    pid.url = "https://id.example.test/zoe";
    pid.id = 7;
    const std::string server = pid.toJSON(true);
    EXPECT_TRUE(pythonVerifies(server));

    std::string tampered = server;
    const size_t at = tampered.find("e@example.test");
    ASSERT_NE(at, std::string::npos);
    tampered[at] = 'f';
    EXPECT_FALSE(pythonVerifies(tampered));
}

TEST_F(IdentityRecords, SigningNeedsTheLoggedInKeyOnceTheIdentityHasOne) {
    globalState.myPrikey.clear();
    try {
        signText("text");
        ADD_FAILURE() << "signing without a private key must fail";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_INTERNAL);
        EXPECT_EQ(e.message, "Unable to sign text - private key not set - must login.");
    }
    PID pid = newIdentity();
    EXPECT_THROW(pid.toJSONValue(true), VxMetaException);
    EXPECT_FALSE(pid.recordText.empty()); // already rendered when signing failed
    EXPECT_EQ(pid.signature, "");

    myPID->pubkey.clear();
    EXPECT_EQ(signText("text"), "");
    EXPECT_EQ(pid.toJSONValue(true)["signature"].asString(), "");
}

TEST_F(IdentityRecords, VerifyMyTextUsesTheOwnIdentityKey) {
    const std::string signature = signText("hello");
    EXPECT_TRUE(verifyMyText("hello", signature));
    EXPECT_FALSE(verifyMyText("hellO", signature));
}

} // namespace
