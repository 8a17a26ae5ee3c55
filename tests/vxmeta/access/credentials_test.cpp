// The user's credentials: derived key, login token and token hash against values made by Python,
// the invalidation of the derived values, the error order of the key derivation, the private key
// opened from both wrapped forms, the private key found in the secret identity record, and the
// holder of a secret for one scope.
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <limits>

#include "support/access_fixture.h"

#include "vxmeta/access/credentials.h"
#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using namespace VxMetaTest;

namespace {

// The Python check of a login token hash.
bool pythonAcceptsHash(const std::string& token, const std::string& urn, const std::string& hash) {
    const std::string command = std::string(VX_PYTHON) + " " + VX_SOURCE_DIR +
                                "/tests/vectors/login_credentials.py check-hash '" + token + "' '" + urn + "' '" + hash + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    std::string out;
    std::array<char, 256> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
    return pclose(pipe) == 0 && out == "valid\n";
}

const Json::Value& vectorCase(int i) { return credentialVectors()["cases"][i]; }

Credentials credentialsOf(const Json::Value& c, const std::string& challenge = std::string()) {
    Credentials credentials;
    credentials.setPassword(c["password"].asString());
    credentials.setParameters(c["urn"].asString(), c["salt"].asString(), c["rounds"].asInt(), challenge);
    return credentials;
}

class CredentialsTest : public AccessTest {};

TEST_F(CredentialsTest, KeyTokenAndTokenHashAgreeWithPython) {
    ASSERT_EQ(credentialVectors()["cases"].size(), 3u) << "tests/vectors/login_credentials.json is missing";
    for (const Json::Value& c : credentialVectors()["cases"]) {
        SCOPED_TRACE(c["urn"].asString());
        Credentials credentials = credentialsOf(c);
        EXPECT_EQ(base64_encode(credentials.getKey()), c["key"].asString());
        EXPECT_EQ(credentials.getLoginToken(""), c["token"].asString());
        const std::string hash = credentials.getLoginTokenHash("");
        ASSERT_EQ(hash.size(), 24u + 1 + 44);
        EXPECT_EQ(hash[24], '-');
        EXPECT_TRUE(pythonAcceptsHash(c["token"].asString(), c["urn"].asString(), hash));
        EXPECT_FALSE(pythonAcceptsHash(c["token"].asString(), c["urn"].asString() + "x", hash));
    }
}

TEST_F(CredentialsTest, TokenForAKeyIsItsRsaText) {
    Credentials credentials = credentialsOf(vectorCase(0));
    const std::string wrapped = credentials.getLoginToken(serviceKeys().publicKey);
    EXPECT_TRUE(startswith(wrapped, "V2-"));
    EXPECT_EQ(RSAdecryptOther(wrapped, serviceKeys().privateKey, 4), vectorCase(0)["token"].asString());
    const std::string hash = credentials.getLoginTokenHash("");
    EXPECT_EQ(RSAdecryptOther(credentials.getLoginTokenHash(serviceKeys().publicKey), serviceKeys().privateKey, 4), hash);
}

TEST_F(CredentialsTest, HashKeepsItsNonceUntilTheDerivedValuesAreDropped) {
    Credentials credentials = credentialsOf(vectorCase(0));
    const std::string first = credentials.getLoginTokenHash("");
    EXPECT_EQ(credentials.getLoginTokenHash(""), first);
    credentials.setPassword(vectorCase(0)["password"].asString());
    EXPECT_EQ(credentials.getLoginTokenHash(""), first);
    credentials.setPassword("another");
    const std::string second = credentials.getLoginTokenHash("");
    EXPECT_NE(second.substr(0, 24), first.substr(0, 24));
    EXPECT_NE(credentials.getLoginToken(""), vectorCase(0)["token"].asString());
}

TEST_F(CredentialsTest, KeyAndHashFailInTheirOrder) {
    struct Case {
        const char* password;
        const char* salt;
        int32_t rounds;
        const char* urn;
        const char* keyFailure;
        const char* hashFailure;
    };
    const Case cases[] = {
        {"", "", 0, "", "Cannot get credential key - password not set",
         "Credentials cannot compute token hash - loginSalt is not set"},
        {"pw", "", 0, "", "Cannot get credential key - login salt not set",
         "Credentials cannot compute token hash - loginSalt is not set"},
        {"pw", "salt", 0, "", "Cannot get credential key - login rounds must be > 0",
         "Credentials cannot compute token hash - loginRounds is not set"},
        {"pw", "salt", -5, "", "Cannot get credential key - login rounds must be > 0",
         "Credentials cannot compute token hash - loginURN is not set"},
        {"", "salt", 10, "urn:u", "Cannot get credential key - password not set",
         "Cannot get credential key - password not set"},
        // A count no derivation of this library or the service uses: refused before any work.
        {"pw", "salt", kMaxPasswordRounds + 1, "urn:u", "Cannot get credential key - login rounds must be <= 5000000",
         "Cannot get credential key - login rounds must be <= 5000000"},
        {"pw", "salt", std::numeric_limits<int32_t>::max(), "urn:u",
         "Cannot get credential key - login rounds must be <= 5000000",
         "Cannot get credential key - login rounds must be <= 5000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyFailure);
        Credentials credentials;
        credentials.setPassword(c.password);
        credentials.setParameters(c.urn, c.salt, c.rounds, "");
        try {
            credentials.getKey();
            ADD_FAILURE() << "getKey succeeded";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_INTERNAL);
            EXPECT_EQ(e.message, c.keyFailure);
        }
        try {
            credentials.getLoginToken("");
            ADD_FAILURE() << "getLoginToken succeeded";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.message, c.hashFailure);
        }
    }
}

// Each change, from a state with password, parameters, challenge, private key and signature.
TEST_F(CredentialsTest, ChangesDropWhatDependsOnThem) {
    logIn("urn:vx:user/alice");
    struct Case {
        const char* what;
        std::function<void(Credentials&)> change;
        bool hashKept;
        bool privateKeyKept;
        const char* challengeAfter;
        enum { Same, Resigned, Empty } signature;
    };
    const Json::Value& v = vectorCase(0);
    const std::string urn = v["urn"].asString(), salt = v["salt"].asString(), pw = v["password"].asString();
    const int32_t rounds = v["rounds"].asInt();
    const Case cases[] = {
        {"same password", [&](Credentials& c) { c.setPassword(pw); }, true, true, "c1", Case::Same},
        {"new password", [&](Credentials& c) { c.setPassword("other"); }, false, true, "c1", Case::Same},
        {"same parameters", [&](Credentials& c) { c.setParameters(urn, salt, rounds, "c1"); }, true, true, "c1", Case::Same},
        {"new salt", [&](Credentials& c) { c.setParameters(urn, "salt2", rounds, "c1"); }, false, true, "c1", Case::Same},
        {"new rounds", [&](Credentials& c) { c.setParameters(urn, salt, rounds + 1, "c1"); }, false, true, "c1", Case::Same},
        {"new challenge", [&](Credentials& c) { c.setParameters(urn, salt, rounds, "c2"); }, true, true, "c2", Case::Resigned},
        {"new URN", [&](Credentials& c) { c.setParameters("urn:vx:user/other", salt, rounds, "c1"); }, false, false, "c1",
         Case::Empty},
        {"no challenge", [&](Credentials& c) { c.setChallenge(""); }, true, true, "", Case::Empty},
        {"no private key", [&](Credentials& c) { c.setSavedPrivateKey(""); }, true, false, "c1", Case::Empty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Credentials credentials = credentialsOf(v, "c1");
        credentials.setSavedPrivateKey(userKeys().privateKey);
        const std::string signature = credentials.getSignature();
        ASSERT_TRUE(startswith(signature, "V2-"));
        const std::string hash = credentials.getLoginTokenHash("");

        c.change(credentials);
        EXPECT_EQ(credentials.getLoginTokenHash("") == hash, c.hashKept);
        EXPECT_EQ(credentials.getSavedPrivateKey() == userKeys().privateKey, c.privateKeyKept);
        EXPECT_EQ(credentials.getChallenge(), c.challengeAfter);
        switch (c.signature) {
        case Case::Same:
            EXPECT_EQ(credentials.getSignature(), signature);
            break;
        case Case::Resigned:
            EXPECT_NE(credentials.getSignature(), signature);
            EXPECT_TRUE(startswith(credentials.getSignature(), "V2-"));
            break;
        case Case::Empty:
            EXPECT_EQ(credentials.getSignature(), "");
            break;
        }
    }
}

TEST_F(CredentialsTest, SignatureThatTheOwnIdentityKeyRefusesFailsAndStaysStored) {
    logIn();
    KeyPair other;
    generateRSAKeys(other.publicKey, other.privateKey);
    Credentials credentials = credentialsOf(vectorCase(0), "challenge");
    try {
        credentials.setSavedPrivateKey(other.privateKey);
        FAIL() << "the round trip passed";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_INTERNAL);
        EXPECT_EQ(e.message, "Credentials savePrivateKey - signed challenge did not pass round trip test");
    }
    EXPECT_TRUE(startswith(credentials.getSignature(), "V2-"));
}

TEST_F(CredentialsTest, PrivateKeyOpensFromTheFormsPythonWrapped) {
    const Json::Value& w = credentialVectors()["wrapped"];
    const std::string der = base64_decode(w["privateKey"].asString());
    struct Case {
        const char* what;
        std::string password;
        std::string salt;
        std::string text;
        bool opened;
    };
    const Json::Value& v = vectorCase(0);
    const Case cases[] = {
        {"V6 under the derived key", v["password"].asString(), v["salt"].asString(), w["v6"].asString(), true},
        {"V2 under the password", v["password"].asString(), v["salt"].asString(), w["v2"].asString(), true},
        {"V2 without a salt", v["password"].asString(), "", w["v2"].asString(), true},
        {"V6 without a salt", v["password"].asString(), "", w["v6"].asString(), false},
        {"V6 under another password", "wrong", v["salt"].asString(), w["v6"].asString(), false},
        {"V2 under another password", "wrong", v["salt"].asString(), w["v2"].asString(), false},
        {"empty", v["password"].asString(), v["salt"].asString(), "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mdClearAll(false);
        Credentials credentials;
        credentials.setPassword(c.password);
        credentials.setParameters(v["urn"].asString(), c.salt, v["rounds"].asInt(), "");
        EXPECT_EQ(credentials.decryptPrivateKey(c.text, true), c.opened);
        EXPECT_EQ(credentials.getSavedPrivateKey(), c.opened ? der : "");
        EXPECT_EQ(globalState.myPrikey, c.opened ? der : "");
    }
    // Kept, but not as the logged-in key.
    mdClearAll(false);
    Credentials credentials = credentialsOf(v);
    EXPECT_TRUE(credentials.decryptPrivateKey(w["v6"].asString(), false));
    EXPECT_EQ(credentials.getSavedPrivateKey(), der);
    EXPECT_EQ(globalState.myPrikey, "");
    // A form of a later version is a failure, not a refusal.
    EXPECT_THROW(credentials.decryptPrivateKey("V9-abc-def", true), VxMetaException);
}

TEST_F(CredentialsTest, SidHashOfTheLocatorAgreesWithPython) {
    const Json::Value& w = credentialVectors()["wrapped"];
    Credentials credentials = credentialsOf(vectorCase(0));
    EXPECT_EQ(credentials.getSHash(w["sidLocator"].asString()), w["shash"].asString());
    myUser->sidLocator = w["sidLocator"].asString();
    EXPECT_EQ(credentials.getSHash(), w["shash"].asString());
}

class PrivateKeyFromTheSid : public AccessTest {
protected:
    void SetUp() override {
        AccessTest::SetUp();
        LockScope lock(masterMutex);
        myPID->urn = vectorCase(0)["urn"].asString();
        myUser->sidLocator = wrapped()["sidLocator"].asString();
        globalCredentials() = credentialsOf(vectorCase(0));
    }
    static const Json::Value& wrapped() { return credentialVectors()["wrapped"]; }
    static Credentials& globalCredentials() { return globalState.credentials; }
    static std::string sidReply(const std::string& version, const std::string& prikey) {
        Json::Value reply;
        reply["id"] = wrapped()["shash"];
        reply["record"]["shash"] = wrapped()["shash"];
        reply["record"]["version"] = version;
        reply["record"]["prikey"] = prikey;
        reply["record"]["revision"] = 1;
        return jsonString(reply);
    }
};

TEST_F(PrivateKeyFromTheSid, HeldSidWithTheHashIsOpenedWithoutARequest) {
    mySID->id = wrapped()["shash"].asString();
    mySID->prikey = wrapped()["v6"].asString();
    globalState.credentials.acquirePrivateKey();
    EXPECT_TRUE(FakeTransport::exchanges().empty());
    EXPECT_EQ(globalState.myPrikey, base64_decode(wrapped()["privateKey"].asString()));
    EXPECT_FALSE(globalState.tdeAgentMode);
    EXPECT_FALSE(globalState.credentials.recoveryUpdateNeeded);
}

TEST_F(PrivateKeyFromTheSid, OtherSidIsFetchedWithoutTheMasterLockAndReplacesTheHeldOne) {
    myPID->urn = "TDEAgent_7";
    globalState.credentials.setParameters("TDEAgent_7", vectorCase(0)["salt"].asString(), vectorCase(0)["rounds"].asInt(), "");
    mySID->id = "V2-another";
    std::shared_ptr<SID> previous = mySID;
    int depthAtRequest = -1;
    FakeTransport::install([&](const CommIO& io) {
        if (!endswith(io.url, "/etag/0")) depthAtRequest = masterLockDepth();
        return FakeReply(200, sidReply("V3", wrapped()["v6"].asString()));
    });
    globalState.credentials.acquirePrivateKey();
    // Before it, the cluster's change tag is asked for.
    ASSERT_EQ(FakeTransport::exchanges().size(), 2u);
    EXPECT_EQ(depthAtRequest, 0);
    EXPECT_TRUE(endswith(FakeTransport::exchanges()[1].url, ("/sid/" + urlencode(wrapped()["shash"].asString()) + "/").c_str()));
    EXPECT_NE(mySID, previous);
    EXPECT_EQ(mySID->id, wrapped()["shash"].asString());
    EXPECT_FALSE(mySID->remoteDirty);
    EXPECT_EQ(globalState.myPrikey, base64_decode(wrapped()["privateKey"].asString()));
    EXPECT_TRUE(globalState.tdeAgentMode);
    EXPECT_TRUE(globalState.credentials.recoveryUpdateNeeded);
}

TEST_F(PrivateKeyFromTheSid, UnusableSidsFail) {
    struct Case {
        std::string reply;
        const char* category;
        const char* message;
    };
    const Case cases[] = {
        {sidReply("V4", wrapped()["v6"].asString()), VXMECAT_UPGRADE, "SID version is unexpected - upgrade required."},
        {sidReply("", wrapped()["v6"].asString()), VXMECAT_UPGRADE, "SID version is unexpected - upgrade required."},
        {sidReply("V1", wrapped()["v2"].asString().substr(0, 60)), VXMECAT_INTERNAL, "Unable to decrypt private key"},
        {sidReply("V2", ""), VXMECAT_INTERNAL, "Unable to decrypt private key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakeTransport::answerAll(FakeReply(200, c.reply));
        mySID->id = "V2-another";
        globalState.myPrikey.clear();
        try {
            globalState.credentials.acquirePrivateKey();
            ADD_FAILURE() << "the key was acquired";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, c.category);
            EXPECT_EQ(e.message, c.message);
        }
        EXPECT_EQ(globalState.myPrikey, "");
    }
}

TEST_F(PrivateKeyFromTheSid, SavePrivateKeyUsesWhatIsAtHand) {
    const std::string der = base64_decode(wrapped()["privateKey"].asString());
    // The held SID with the user's hash.
    mySID->id = wrapped()["shash"].asString();
    mySID->prikey = wrapped()["v6"].asString();
    EXPECT_TRUE(globalState.credentials.savePrivateKey());
    EXPECT_EQ(globalState.myPrikey, der);
    // The logged-in key wins.
    globalState.myPrikey = userKeys().privateKey;
    EXPECT_TRUE(globalState.credentials.savePrivateKey());
    EXPECT_EQ(globalState.credentials.getSavedPrivateKey(), userKeys().privateKey);
    // Another SID, or no locator: nothing to open.
    globalState.myPrikey.clear();
    mySID->id = "V2-another";
    EXPECT_FALSE(globalState.credentials.savePrivateKey());
    myUser->sidLocator.clear();
    EXPECT_FALSE(globalState.credentials.savePrivateKey());
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

// A password handed out for one sign-in is wiped with its holder: nothing of it stays in the
// holder's own storage (a short text lives there, not on the heap).
TEST(WipedText, LeavesNothingOfTheSecretBehind) {
    const std::string secret = "pw-4711";
    alignas(WipedText) unsigned char storage[sizeof(WipedText)];
    auto holds = [&] {
        return std::search(std::begin(storage), std::end(storage), secret.begin(), secret.end()) != std::end(storage);
    };
    auto* held = new (storage) WipedText(std::string(secret));
    ASSERT_TRUE(holds());
    held->~WipedText();
    EXPECT_FALSE(holds());
}

} // namespace
