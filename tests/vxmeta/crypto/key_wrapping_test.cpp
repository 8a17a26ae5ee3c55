#include "vxmeta/crypto/key_wrapping.h"

#include <gtest/gtest.h>

#include <openssl/rsa.h>

#include <set>

#include "interop_vectors.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/text.h"

using namespace VxMeta;
using VxMetaTest::bytesOf;
using VxMetaTest::textOf;
using VxMetaTest::vectorSection;

namespace {

std::string pythonPublic() { return textOf(vectorSection("rsa"), "public"); }
std::string pythonPrivate() { return bytesOf(vectorSection("rsa"), "private"); }

// Opens a master form with the primitives: the RSA head gives the session key, which opens the V4 body.
std::string openMasterForm(const std::string& wrapped, const std::string& privateKey) {
    const std::vector<std::string> parts = splitParts(wrapped, "|");
    EXPECT_EQ(parts.size(), 2u);
    const std::string sessionKey = RSAdecryptOther(parts[0], privateKey, RSA_PKCS1_OAEP_PADDING);
    EXPECT_EQ(sessionKey.size(), 44u);
    return aesDecrypt(parts[1], sessionKey, true);
}

TEST(SessionKeys, FortyFourCharactersOfBase64) {
    std::set<std::string> seen;
    for (int i = 0; i < 8; ++i) {
        const std::string key = generateSessionKey();
        EXPECT_EQ(key.size(), 44u);
        EXPECT_EQ(key.find('='), 43u); // exactly one padding character
        EXPECT_EQ(base64_decode(key).size(), 32u);
        seen.insert(key);
    }
    EXPECT_EQ(seen.size(), 8u);
}

TEST(SessionKeys, RsaFormHoldsTheKeyText) {
    for (const Json::Value& v : vectorSection("session_keys")) {
        EXPECT_EQ(RSAdecryptOther(textOf(v, "wrapped"), pythonPrivate(), RSA_PKCS1_OAEP_PADDING), textOf(v, "session_key"));
    }
    const std::string key = generateSessionKey();
    const std::string wrapped = encryptSessionKey(key, pythonPublic());
    EXPECT_EQ(wrapped.size(), 347u);
    EXPECT_EQ(RSAdecryptOther(wrapped, pythonPrivate(), RSA_PKCS1_OAEP_PADDING), key);
}

TEST(MasterKeys, PythonFormsOpen) {
    const Json::Value& cases = vectorSection("master_keys");
    ASSERT_EQ(cases.size(), 2u);
    for (const Json::Value& v : cases) {
        EXPECT_EQ(openMasterForm(textOf(v, "wrapped"), pythonPrivate()), bytesOf(v, "master_key"));
    }
}

TEST(MasterKeys, OurFormHasOneBarAndOpens) {
    const std::string master = pythonPrivate(); // a DER private key is the usual master key
    const std::string wrapped = encryptMasterKey(master, pythonPublic());
    EXPECT_EQ(wrapped.find('|'), 347u);
    EXPECT_EQ(wrapped.find('|', 348), std::string::npos);
    EXPECT_EQ(wrapped.substr(348, 3), "V4-");
    EXPECT_NE(wrapped.find("|V4"), std::string::npos);
    EXPECT_EQ(openMasterForm(wrapped, pythonPrivate()), master);
    EXPECT_NE(encryptMasterKey(master, pythonPublic()), wrapped); // a fresh session key each time
}

TEST(SinfoHash, MatchesPythonAndIsUrnSafe) {
    const Json::Value& cases = vectorSection("sinfo_hash");
    ASSERT_GE(cases.size(), 4u);
    bool sawReplacement = false;
    for (const Json::Value& v : cases) {
        const std::string hash = sinfoHash(bytesOf(v, "sinfo"), bytesOf(v, "password"));
        EXPECT_EQ(hash, textOf(v, "hash"));
        EXPECT_EQ(hash.find('/'), std::string::npos);
        sawReplacement = sawReplacement || hash.find(',') != std::string::npos;
    }
    EXPECT_TRUE(sawReplacement);
    for (const Json::Value& v : vectorSection("sproxy")) {
        EXPECT_EQ(sproxyToHash(textOf(v, "ciphertext"), bytesOf(v, "password")), textOf(v, "hash"));
    }
}

TEST(RandomUInt, EveryByteVaries) {
    std::set<uint32_t> low, high;
    for (int i = 0; i < 64; ++i) {
        const uint32_t value = getRandomUInt();
        low.insert(value & 0xFF);
        high.insert(value >> 24);
    }
    EXPECT_GT(low.size(), 8u);
    EXPECT_GT(high.size(), 8u);
}

} // namespace
