#include "vxmeta/crypto/aes.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/fails_with.h"
#include "interop_vectors.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/openssl_owners.h"
#include "vxmeta/crypto/two_text_format.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"

using namespace VxMeta;
using VxMetaTest::bytesOf;
using VxMetaTest::failsWith;
using VxMetaTest::textOf;
using VxMetaTest::vectorSection;

namespace {

const std::string kKey32(32, 'k');
const std::string kIv(16, 'i');

TEST(AesHolder, MatchesPythonUnderTheCallersIv) {
    const Json::Value& cases = vectorSection("aes_raw");
    ASSERT_GE(cases.size(), 20u);
    for (const Json::Value& v : cases) {
        const std::string key = bytesOf(v, "key"), iv = bytesOf(v, "iv");
        const std::string pt = bytesOf(v, "plaintext"), ct = bytesOf(v, "ciphertext");
        const bool padding = v["padding"].asBool();
        EXPECT_EQ(AES(key).encrypt(pt, iv, padding), ct) << textOf(v, "ciphertext");
        EXPECT_EQ(AES(key).decrypt(ct, iv, padding), pt);
        EXPECT_EQ(AES(textOf(v, "key"), true).decrypt(ct, iv, padding), pt); // the base64 key form
    }
}

TEST(AesTexts, ReadsPythonV6AndV5) {
    for (const char* form : {"v6", "v5"}) {
        const Json::Value& cases = vectorSection(form);
        ASSERT_GE(cases.size(), 9u);
        for (const Json::Value& v : cases) {
            EXPECT_EQ(decrypt(AES(bytesOf(v, "key")), textOf(v, "text")), bytesOf(v, "plaintext")) << textOf(v, "text");
        }
    }
}

TEST(AesTexts, WrongKeyGivesTheCipherBytesWithoutFailing) {
    int checked = 0;
    for (const Json::Value& v : vectorSection("wrong_key")) {
        if (textOf(v, "form") != "V6") continue;
        EXPECT_EQ(decrypt(AES(bytesOf(v, "key")), textOf(v, "text")), bytesOf(v, "result"));
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(AesTexts, WrittenFormsAndTheirShapes) {
    const AES holder(kKey32);
    const std::string v5Empty = encrypt(holder, "", false);
    EXPECT_EQ(v5Empty.substr(0, 3), "V5-");
    EXPECT_EQ(v5Empty.back(), '-');
    EXPECT_EQ(decrypt(holder, v5Empty), "");

    const std::string v6Empty = encrypt(holder, "", true);
    EXPECT_EQ(v6Empty.size(), 3u + 24 + 1 + 24); // one padding block
    EXPECT_EQ(decrypt(holder, v6Empty), "");

    const std::string plaintext = "a plaintext of some length";
    const std::string first = encrypt(holder, plaintext, true);
    EXPECT_NE(first, encrypt(holder, plaintext, true)); // a fresh IV each time
    EXPECT_EQ(decrypt(holder, first), plaintext);
    for (const std::string& key : {std::string(16, 'a'), std::string(24, 'b')}) {
        EXPECT_EQ(decrypt(AES(key), encrypt(AES(key), std::string(32, 'p'), false)), std::string(32, 'p'));
    }
}

TEST(AesTexts, ReaderFailures) {
    const AES holder(kKey32);
    const std::string iv15 = base64_encode(std::string(15, 'x'));
    const std::string block = base64_encode(std::string(16, 'c'));
    struct Case {
        std::string text;
        const char* category;
        std::string message;
    };
    const Case cases[] = {
        {"V7-" + block + "-" + block, VXMECAT_UPGRADE, "Upgrade required - found unexpected cipher encoding. (V7)"},
        {"nodashes", VXMECAT_UPGRADE, "Upgrade required - found unexpected cipher encoding. (nodashes)"},
        {"V2-a-b-c", VXMECAT_UPGRADE, "Upgrade required - found unexpected cipher encoding. (V2)"},
        // Too few parts: refused instead of reading fields that are not there.
        {"V6", VXMECAT_INTERNAL, "Unsupported ciphertext."},
        {"V5-" + block, VXMECAT_INTERNAL, "Unsupported ciphertext."},
        {"V6-" + iv15 + "-" + block, VXMECAT_INTERNAL, "AES initializaion vector must be at least 16 bytes"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(failsWith([&] { decrypt(holder, c.text); }, c.category, c.message)) << c.text;
    }
}

TEST(AesHolder, IvIsCheckedBeforeTheKey) {
    const std::string key20(20, 'k');
    EXPECT_TRUE(failsWith([&] { AES(key20).encrypt("x", std::string(15, 'i'), true); }, VXMECAT_INTERNAL,
                          "AES initializaion vector must be at least 16 bytes"));
    EXPECT_TRUE(failsWith([&] { AES(key20).decrypt(std::string(16, 'c'), std::string(15, 'i'), true); },
                          VXMECAT_INTERNAL, "AES initializaion vector must be at least 16 bytes"));
    EXPECT_TRUE(failsWith([&] { AES(key20).encrypt("x", kIv, true); }, VXMECAT_INTERNAL, "Invalid key size for AES"));
    EXPECT_TRUE(failsWith([&] { encrypt(AES(key20), "x", true); }, VXMECAT_INTERNAL, "Invalid key size for AES"));
    // Only the first 16 bytes of a longer IV count.
    EXPECT_EQ(AES(kKey32).encrypt("x", kIv + "extra", true), AES(kKey32).encrypt("x", kIv, true));
}

TEST(AesHolder, UnpaddedEncryptionRefusesAPartialBlock) {
    // A 20-byte plaintext would lose its last 4 bytes without a word.
    const std::string twenty(20, 'p');
    const char* message = "AES plaintext must be a whole number of blocks without padding";
    EXPECT_TRUE(failsWith([&] { AES(kKey32).encrypt(twenty, kIv, false); }, VXMECAT_INTERNAL, message));
    EXPECT_TRUE(failsWith([&] { encrypt(AES(kKey32), twenty, false); }, VXMECAT_INTERNAL, message));
    MemPS key(kKey32, false), iv(kIv, false), input(twenty, false), output;
    EXPECT_TRUE(failsWith([&] { AESrun(true, key, iv, input, output, false); }, VXMECAT_INTERNAL, message));
    EXPECT_EQ(AES(kKey32).encrypt(std::string(32, 'p'), kIv, false).size(), 32u);
}

TEST(AesHolder, UnpaddedDecryptionOfAPartialBlockDropsItQuietly) {
    const std::string ct = AES(kKey32).encrypt(std::string(32, 'p'), kIv, false);
    EXPECT_EQ(AES(kKey32).decrypt(ct + "xyz", kIv, false), std::string(32, 'p'));
}

TEST(AesRun, LengthsBeyondWhatOpenSSLTakesAreRefused) {
    // Only the first block is there: a run must refuse before it reads any of the claimed bytes,
    // instead of handing OpenSSL the low bits of the length and returning a cut result.
    const std::string block(16, 'p');
    const auto* in = reinterpret_cast<const unsigned char*>(block.data());
    const size_t claimed[] = {(size_t{1} << 32) + 16, (size_t{1} << 31), size_t{INT_MAX} - 16};
    for (size_t length : claimed) {
        for (bool encrypting : {true, false}) {
            CipherContext context;
            MemPS output;
            EXPECT_TRUE(failsWith(
                [&] {
                    AEScipherPass(context.context(), encrypting, EVP_aes_256_cbc(),
                                  reinterpret_cast<const unsigned char*>(kKey32.data()),
                                  reinterpret_cast<const unsigned char*>(kIv.data()), in, length, output, true);
                },
                VXMECAT_INTERNAL, "AES input is too long"))
                << length << (encrypting ? " encrypting" : " decrypting");
        }
    }
}

TEST(AesRun, OutputIsSizedByTheRunItself) {
    MemPS key(kKey32, false), iv(kIv, false), input(std::string(100, 'p'), false);
    MemPS output(1); // far too small: the run makes room instead of writing past it
    AESrun(true, key, iv, input, output, true);
    EXPECT_EQ(output.length(), 112u);
    MemPS back;
    AESrun(false, key, iv, output, back, true);
    EXPECT_EQ(back.toString(), std::string(100, 'p'));
}

TEST(Fmt, TwoTexts) {
    EXPECT_EQ(Fmt("V6-%s-%s", "aa", "bb"), "V6-aa-bb");
    EXPECT_EQ(Fmt("%.2s|%s", "abcdef", ""), "ab|");
}

} // namespace
