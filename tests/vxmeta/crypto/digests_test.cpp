#include "vxmeta/crypto/digests.h"

#include <gtest/gtest.h>

#include "support/fails_with.h"
#include "interop_vectors.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/text.h"

using namespace VxMeta;
using VxMetaTest::bytesOf;
using VxMetaTest::failsWith;
using VxMetaTest::textOf;
using VxMetaTest::vectorSection;

namespace {

TEST(Digests, MatchPython) {
    for (const Json::Value& v : vectorSection("hash_text")) {
        const std::string hash = hashText(bytesOf(v, "text"));
        EXPECT_EQ(hash, textOf(v, "hash"));
        EXPECT_EQ(hash.size(), 28u);
    }
    for (const Json::Value& v : vectorSection("sha256")) EXPECT_EQ(SHA256(bytesOf(v, "text")), bytesOf(v, "digest"));
    const Json::Value& macs = vectorSection("hmac");
    ASSERT_EQ(macs.size(), 18u);
    for (const Json::Value& v : macs) {
        EXPECT_EQ(hmacsha(v["size"].asInt(), bytesOf(v, "key"), bytesOf(v, "data")), bytesOf(v, "mac"))
            << "size " << v["size"].asInt() << " key of " << bytesOf(v, "key").size() << " bytes";
    }
}

TEST(Pbkdf2, MatchesPython) {
    for (const Json::Value& v : vectorSection("pbkdf2")) {
        const auto derive = textOf(v, "prf") == "sha1" ? PBKDF2_HMAC_SHA1 : PBKDF2_HMAC_SHA256;
        EXPECT_EQ(derive(bytesOf(v, "password"), bytesOf(v, "salt"), v["rounds"].asInt(), v["length"].asInt()),
                  bytesOf(v, "key"))
            << textOf(v, "prf") << " " << v["rounds"].asInt();
    }
    EXPECT_EQ(PBKDF2_HMAC_SHA256("pw", "salt", 1, 0), "");
    EXPECT_TRUE(failsWith([] { PBKDF2_HMAC_SHA256("pw", "salt", 0, 32); }, VXMECAT_INTERNAL, "PKCS5_PBKDF2_HMAC failed"));
}

TEST(HashPassword, SaltAndKeyFollowTheDigestSize) {
    for (const Json::Value& v : vectorSection("hash_password")) {
        EXPECT_EQ(hashPassword(bytesOf(v, "password"), v["size"].asInt(), v["rounds"].asInt(), textOf(v, "salt")),
                  bytesOf(v, "key"));
    }
    struct Case {
        int size;
        size_t textLength;
    };
    for (const Case c : {Case{1, 28}, Case{160, 28}, Case{224, 40}, Case{256, 44}, Case{384, 64}, Case{512, 88}}) {
        const std::string hashed = hashPassword("secret", c.size, 100);
        const std::vector<std::string> parts = splitParts(hashed, "-");
        ASSERT_EQ(parts.size(), 2u);
        EXPECT_EQ(parts[0].size(), c.textLength) << c.size;
        EXPECT_EQ(parts[1].size(), c.textLength);
        // The key is always PBKDF2-HMAC-SHA256 over the salt.
        EXPECT_EQ(base64_encode(hashPassword("secret", c.size, 100, parts[0])), parts[1]);
    }
    EXPECT_NE(hashPassword("secret", 256, 100), hashPassword("secret", 256, 100));
}

TEST(GetSha, Sizes) {
    EXPECT_EQ(getSha(1), getSha(160));
    EXPECT_EQ(EVP_MD_get_size(getSha(1)), 20);
    EXPECT_EQ(EVP_MD_get_size(getSha(224)), 28);
    EXPECT_EQ(EVP_MD_get_size(getSha(384)), 48);
    for (int size : {0, 128, 2, 257, -1}) {
        EXPECT_TRUE(failsWith([&] { getSha(size); }, VXMECAT_CLIENT, "HMACSHA size must be 1, 160, 224, 256, 384, or 512"))
            << size;
    }
    EXPECT_TRUE(failsWith([] { hmacsha(128, "k", "d"); }, VXMECAT_CLIENT, "HMACSHA size must be 1, 160, 224, 256, 384, or 512"));
    EXPECT_TRUE(failsWith([] { hashPassword("pw", 128, 10); }, VXMECAT_CLIENT,
                          "HMACSHA size must be 1, 160, 224, 256, 384, or 512"));
}

TEST(OsslFailed, ResultsAndPointers) {
    EXPECT_TRUE(_osslFailed_(0));
    EXPECT_TRUE(_osslFailed_(-1));
    EXPECT_FALSE(_osslFailed_(1));
    EXPECT_TRUE(_osslFailed_(static_cast<const void*>(nullptr)));
    EXPECT_FALSE(_osslFailed_(static_cast<const void*>("x")));
}

} // namespace
