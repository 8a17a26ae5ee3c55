#include "vxmeta/crypto/simple_aes.h"

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

const std::string kKeyB64 = base64_encode(std::string(32, 'k'));
const std::string kSalt32 = base64_encode(std::string(32, 's'));
const std::string kBlock = base64_encode(std::string(16, 'c'));

TEST(PasswordTexts, ReadPythonV2) {
    const Json::Value& cases = vectorSection("v2");
    ASSERT_GE(cases.size(), 5u);
    for (const Json::Value& v : cases) {
        const std::string text = textOf(v, "text"), password = bytesOf(v, "password"), pt = bytesOf(v, "plaintext");
        const bool padding = v["padding"].asBool();
        EXPECT_EQ(SimpleAES(password, 3).decrypt(text, padding), pt) << text; // the count comes from the text
        EXPECT_EQ(aesDecrypt(text, password, padding), pt); // the key text serves as the password
        if (padding) {
            EXPECT_EQ(passwordDecrypt(text, password), pt);
            EXPECT_EQ(prikeyDecryptV2(text, password), pt);
        }
    }
}

TEST(KeyTexts, ReadPythonV3AndV4) {
    for (const Json::Value& v : vectorSection("v3")) {
        const std::string text = textOf(v, "text"), key = textOf(v, "key"), pt = bytesOf(v, "plaintext");
        const bool padding = v["padding"].asBool();
        EXPECT_EQ(IndirectAES(key, 99).decrypt(text, padding), pt) << text; // the key number is not read
        EXPECT_EQ(aesDecrypt(text, key, padding), pt);
        if (padding) {
            EXPECT_EQ(passwordDecrypt(text, key), pt); // a password reader takes it as a base64 key
        }
    }
    for (const Json::Value& v : vectorSection("v4")) {
        const std::string text = textOf(v, "text"), key = textOf(v, "key"), pt = bytesOf(v, "plaintext");
        const bool padding = v["padding"].asBool();
        EXPECT_EQ(aesEncrypt(pt, key, padding), text); // deterministic: byte for byte
        EXPECT_EQ(aesDecrypt(text, key, padding), pt);
        if (padding) {
            EXPECT_EQ(prikeyDecryptV2(text, key), pt);
        }
    }
}

TEST(KeyTexts, WrongKeyGivesTheCipherBytesWithoutFailing) {
    for (const Json::Value& v : vectorSection("wrong_key")) {
        if (textOf(v, "form") != "V4") continue;
        EXPECT_EQ(aesDecrypt(textOf(v, "text"), textOf(v, "key"), true), bytesOf(v, "result"));
    }
}

TEST(SinfoTexts, ReadPythonWithPaddingOnlyAbove100Characters) {
    const Json::Value& cases = vectorSection("sinfo");
    ASSERT_EQ(cases.size(), 3u);
    EXPECT_EQ(textOf(cases[1], "text").size(), 100u);
    EXPECT_EQ(textOf(cases[2], "text").size(), 101u);
    for (const Json::Value& v : cases) {
        EXPECT_EQ(sinfoDecrypt(textOf(v, "text"), bytesOf(v, "password")), bytesOf(v, "plaintext")) << textOf(v, "text");
    }
    EXPECT_TRUE(failsWith([] { sinfoDecrypt("", "pw"); }, VXMECAT_INTERNAL, "Cannot decrypt sinfo - ciphertext is empty"));
}

TEST(SimpleAesTexts, WritersAndTheirShapes) {
    const std::string plaintext(32, 'x');
    for (const std::string& text : {passwordEncrypt(plaintext, "pw"), prikeyEncryptV2(plaintext, "pw"),
                                    sinfoEncrypt(plaintext, "pw")}) {
        const std::vector<std::string> parts = splitParts(text, "-");
        ASSERT_EQ(parts.size(), 4u) << text;
        EXPECT_EQ(parts[0], "V2");
        EXPECT_EQ(parts[1].size(), 44u); // 32-byte salt
        EXPECT_EQ(parts[2], "50000");
    }
    EXPECT_EQ(sinfoEncrypt(plaintext, "pw").size(), 98u); // read back without padding
    EXPECT_EQ(sinfoDecrypt(sinfoEncrypt(plaintext, "pw"), "pw"), plaintext);
    EXPECT_NE(passwordEncrypt(plaintext, "pw"), passwordEncrypt(plaintext, "pw"));

    const std::string v3 = IndirectAES(kKeyB64, 42).encrypt(plaintext, false);
    EXPECT_EQ(v3.substr(0, 6), "V3-42-");
    EXPECT_NE(v3, IndirectAES(kKeyB64, 42).encrypt(plaintext, false));
    EXPECT_EQ(aesDecrypt(v3, kKeyB64, false), plaintext);

    EXPECT_EQ(aesEncrypt(plaintext, kKeyB64, true), aesEncrypt(plaintext, kKeyB64, true));
    EXPECT_EQ(aesEncrypt("", kKeyB64, true).size(), 3u + 24);
}

TEST(SimpleAesTexts, TagAndPartCountFailures) {
    struct Case {
        std::string text;
        const char* category;
        const char* message;
    };
    const Case cases[] = {
        {"V2-" + kSalt32 + "-50000", VXMECAT_INTERNAL, "Unsupported ciphertext."},
        {"V2-a-b-c-d", VXMECAT_INTERNAL, "Unsupported ciphertext."},
        {"nodashes", VXMECAT_INTERNAL, "Unsupported ciphertext."},
        {"V2", VXMECAT_INTERNAL, "Unsupported ciphertext."},
        {"V3-1-" + kSalt32, VXMECAT_UPGRADE, "Upgrade required."},
        {"V4-" + kBlock + "-" + kBlock, VXMECAT_UPGRADE, "Upgrade required."},
        {"V9-" + kBlock, VXMECAT_UPGRADE, "Upgrade required."},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(failsWith([&] { aesDecrypt(c.text, kKeyB64, true); }, c.category, c.message)) << c.text;
    }
}

TEST(SimpleAesTexts, RoundCountMustBeAPositiveDecimalNumber) {
    // Each of these once escaped as a conversion exception or derived no key at all.
    for (const char* rounds : {"abc", "", "0", "-5", "12a", " 5", "+5", "99999999999", "2147483648"}) {
        const std::string text = "V2-" + kSalt32 + "-" + rounds + "-" + kBlock;
        EXPECT_TRUE(failsWith([&] { passwordDecrypt(text, "pw"); }, VXMECAT_INTERNAL, "Unsupported ciphertext."))
            << '"' << rounds << '"';
    }
    const std::string one = "V2-" + kSalt32 + "-1-" + kBlock;
    EXPECT_NO_THROW(passwordDecrypt(one, "pw"));
}

TEST(SimpleAesTexts, RoundCountsAboveTheBoundAreRefusedBeforeAnyDerivation) {
    // A text from a reply or the store could otherwise hold a thread for hours.
    static_assert(kMaxPasswordRounds >= 100 * kPasswordRounds);
    const std::string above = std::to_string(kMaxPasswordRounds + 1);
    for (const std::string& rounds : {above, std::string("1000000000"), std::string("2147483647")}) {
        const std::string text = "V2-" + kSalt32 + "-" + rounds + "-" + kBlock;
        EXPECT_TRUE(failsWith([&] { passwordDecrypt(text, "pw"); }, VXMECAT_INTERNAL, "Unsupported ciphertext."))
            << rounds;
        EXPECT_TRUE(failsWith([&] { prikeyDecryptV2(text, "pw"); }, VXMECAT_INTERNAL, "Unsupported ciphertext."));
        EXPECT_TRUE(failsWith([&] { sinfoDecrypt(text, "pw"); }, VXMECAT_INTERNAL, "Unsupported ciphertext."));
        EXPECT_TRUE(failsWith([&] { aesDecrypt(text, kKeyB64, true); }, VXMECAT_INTERNAL, "Unsupported ciphertext."));
    }
    // Counts the service uses, and more, still read.
    EXPECT_NO_THROW(passwordDecrypt("V2-" + kSalt32 + "-200000-" + kBlock, "pw"));
}

TEST(SimpleAesTexts, ShortSaltsAndWrongKeySizesAreRefused) {
    const std::string salt15 = base64_encode(std::string(15, 's'));
    EXPECT_TRUE(failsWith([&] { passwordDecrypt("V2-" + salt15 + "-5-" + kBlock, "pw"); }, VXMECAT_INTERNAL,
                          "Unsupported ciphertext."));
    EXPECT_TRUE(failsWith([&] { aesDecrypt("V3-1-" + salt15 + "-" + kBlock, kKeyB64, true); }, VXMECAT_INTERNAL,
                          "Unsupported ciphertext."));
    // 16 bytes of salt are enough for the IV.
    EXPECT_NO_THROW(aesDecrypt("V3-1-" + base64_encode(std::string(16, 's')) + "-" + kBlock, kKeyB64, true));

    for (int size : {0, 16, 31, 33}) {
        const std::string key = base64_encode(std::string(static_cast<size_t>(size), 'k'));
        EXPECT_TRUE(failsWith([&] { aesDecrypt("V4-" + kBlock, key, true); }, VXMECAT_INTERNAL, "Invalid key size for AES"))
            << size;
        EXPECT_TRUE(failsWith([&] { aesDecrypt("V3-1-" + kSalt32 + "-" + kBlock, key, true); }, VXMECAT_INTERNAL,
                              "Invalid key size for AES"));
        EXPECT_TRUE(failsWith([&] { aesEncrypt("x", key, true); }, VXMECAT_INTERNAL, "Invalid key size for AES"));
        EXPECT_TRUE(failsWith([&] { IndirectAES(key, 1).encrypt("x", true); }, VXMECAT_INTERNAL, "Invalid key size for AES"));
    }
}

TEST(SimpleAesTexts, UnpaddedWritersRefuseAPartialBlock) {
    const char* message = "AES plaintext must be a whole number of blocks without padding";
    EXPECT_TRUE(failsWith([] { sinfoEncrypt(std::string(20, 'x'), "pw"); }, VXMECAT_INTERNAL, message));
    EXPECT_TRUE(failsWith([] { aesEncrypt(std::string(20, 'x'), kKeyB64, false); }, VXMECAT_INTERNAL, message));
    EXPECT_TRUE(failsWith([] { IndirectAES(kKeyB64, 1).encrypt(std::string(31, 'x'), false); }, VXMECAT_INTERNAL, message));
}

TEST(SimpleAesTexts, DecryptTakesOverTheTagEvenAnUnknownOne) {
    SimpleAES cipher("pw", 1000);
    EXPECT_TRUE(failsWith([&] { cipher.decrypt("V9-" + kBlock, true); }, VXMECAT_UPGRADE, "Upgrade required."));
    // The object now writes nothing rather than encrypting under a key it never derived.
    EXPECT_TRUE(failsWith([&] { cipher.encrypt("x", true); }, VXMECAT_INTERNAL, "Unknown encryption tactic V9"));

    SimpleAES reader("pw", 1000);
    const std::string v2 = SimpleAES("pw", 7).encrypt("data", true);
    EXPECT_EQ(reader.decrypt(v2, true), "data");
    EXPECT_EQ(splitParts(reader.encrypt("data", true), "-")[2], "7"); // it also took over the count
}

} // namespace
