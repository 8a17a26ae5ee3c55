#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/rsa_keys.h"

#include <gtest/gtest.h>

#include <openssl/rsa.h>

#include "support/fails_with.h"
#include "interop_vectors.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"

using namespace VxMeta;
using VxMetaTest::bytesOf;
using VxMetaTest::failsWith;
using VxMetaTest::textOf;
using VxMetaTest::vectorSection;

namespace {

struct KeyPair {
    std::string publicKey;
    std::string privateKey;
};

const KeyPair& pythonKey() {
    static const KeyPair pair{textOf(vectorSection("rsa"), "public"), bytesOf(vectorSection("rsa"), "private")};
    return pair;
}

const KeyPair& ourKey() {
    static const KeyPair pair = [] {
        KeyPair made;
        generateRSAKeys(made.publicKey, made.privateKey);
        return made;
    }();
    return pair;
}

TEST(RsaKeys, GeneratedFormsHaveTheirLengths) {
    const KeyPair& key = ourKey();
    EXPECT_EQ(key.publicKey.size(), 363u);
    EXPECT_EQ(key.publicKey.substr(0, 3), "V2-");
    EXPECT_GT(key.privateKey.size(), 1100u); // raw DER, not text
    EXPECT_EQ(static_cast<unsigned char>(key.privateKey[0]), 0x30);
    KeyPair other;
    generateRSAKeys(other.publicKey, other.privateKey);
    EXPECT_NE(other.publicKey, key.publicKey);
}

TEST(RsaOaep, OpensWhatPythonEncrypted) {
    const Json::Value& cases = vectorSection("oaep");
    ASSERT_EQ(cases.size(), 4u);
    for (const Json::Value& v : cases) {
        EXPECT_EQ(RSAdecryptOther(textOf(v, "ciphertext"), pythonKey().privateKey, RSA_PKCS1_OAEP_PADDING),
                  bytesOf(v, "plaintext"));
    }
}

TEST(RsaOaep, PlaintextLimitAndTextLength) {
    for (const KeyPair* key : {&pythonKey(), &ourKey()}) {
        const std::string longest(214, 'm');
        const std::string ct = RSAencrypt(longest, key->publicKey);
        EXPECT_EQ(ct.size(), 347u);
        EXPECT_EQ(RSAdecryptOther(ct, key->privateKey, RSA_PKCS1_OAEP_PADDING), longest);
        EXPECT_NE(RSAencrypt(longest, key->publicKey), ct); // randomized
        EXPECT_TRUE(failsWith([&] { RSAencrypt(std::string(215, 'm'), key->publicKey); }, VXMECAT_INTERNAL,
                              "RSA_public_encrypt failed"));
    }
}

TEST(RsaOaep, DecryptionFailures) {
    const std::string good = RSAencrypt("secret", pythonKey().publicKey);
    std::string damaged = base64_decode(good.substr(3));
    damaged[100] = static_cast<char>(damaged[100] ^ 1);
    const std::string block = base64_decode(good.substr(3));
    struct Case {
        const char* what;
        std::string ciphertext;
        std::string privateKey;
        const char* category;
        std::string message;
    };
    const std::string priv = pythonKey().privateKey;
    const Case cases[] = {
        {"damaged", "V2-" + base64_encode(damaged), priv, VXMECAT_INTERNAL, "RSA_private_decrypt failed"},
        {"one byte short", "V2-" + base64_encode(block.substr(1)), priv, VXMECAT_INTERNAL, "RSA_private_decrypt failed"},
        {"one byte long", "V2-" + base64_encode(block + "x"), priv, VXMECAT_INTERNAL, "RSA_private_decrypt failed"},
        {"empty", "V2-", priv, VXMECAT_INTERNAL, "RSA_private_decrypt failed"},
        {"newer tag", "V3-" + base64_encode(block), priv, VXMECAT_UPGRADE,
         "Unsupported data format encountered - possible upgrade required"},
        {"no tag", "abc", priv, VXMECAT_INTERNAL, "Invalid data encountered abc..."},
        {"unreadable key", good, "not a key", VXMECAT_INTERNAL, "Unable to read RSA Private key"},
        {"public key as private", good, base64_decode(pythonKey().publicKey.substr(3)), VXMECAT_INTERNAL,
         "Unable to read RSA Private key"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(failsWith([&] { RSAdecryptOther(c.ciphertext, c.privateKey, RSA_PKCS1_OAEP_PADDING); }, c.category,
                              c.message))
            << c.what;
    }
}

TEST(RsaKeys, PublicKeyTextFailures) {
    EXPECT_TRUE(failsWith([] { RSAencrypt("x", "V3-" + pythonKey().publicKey.substr(3)); }, VXMECAT_UPGRADE,
                          "Unsupported data format encountered - possible upgrade required"));
    EXPECT_TRUE(failsWith([] { RSAencrypt("x", "V2-AAAA"); }, VXMECAT_INTERNAL, "Unable to read RSA Public key"));
    EXPECT_TRUE(failsWith([] { RSAencrypt("x", ""); }, VXMECAT_INTERNAL, "Invalid data encountered ..."));
}

TEST(RsaKeys, KeysOfOtherSizesAreRefused) {
    // Every RSA block here is 256 bytes; a key of another size must not reach those buffers.
    const Json::Value& others = vectorSection("rsa_other_sizes");
    ASSERT_EQ(others.size(), 2u);
    const std::string ct = RSAencrypt("x", pythonKey().publicKey);
    const std::string sig = signTextOther("text", pythonKey().privateKey);
    for (const Json::Value& v : others) {
        const std::string pub = textOf(v, "public"), priv = bytesOf(v, "private");
        SCOPED_TRACE(v["bits"].asInt());
        EXPECT_TRUE(failsWith([&] { RSAencrypt("x", pub); }, VXMECAT_INTERNAL, "Unable to read RSA Public key"));
        EXPECT_TRUE(
            failsWith([&] { (void)verifyText("text", sig, pub); }, VXMECAT_INTERNAL, "Unable to read RSA Public key"));
        EXPECT_FALSE(verifyTextNoExceptions("text", sig, pub));
        EXPECT_TRUE(failsWith([&] { RSAdecryptOther(ct, priv, RSA_PKCS1_OAEP_PADDING); }, VXMECAT_INTERNAL,
                              "Unable to read RSA Private key"));
        EXPECT_TRUE(failsWith([&] { signTextOther("text", priv); }, VXMECAT_INTERNAL, "Unable to read RSA Private key"));
    }
}

} // namespace
