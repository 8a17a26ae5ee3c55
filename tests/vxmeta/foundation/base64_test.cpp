#include "vxmeta/foundation/base64.h"

#include <gtest/gtest.h>

using namespace VxMeta;

namespace {

TEST(Base64, EncodesWithPadding) {
    EXPECT_EQ(base64_encode(""), "");
    EXPECT_EQ(base64_encode("f"), "Zg==");
    EXPECT_EQ(base64_encode("fo"), "Zm8=");
    EXPECT_EQ(base64_encode("foo"), "Zm9v");
    EXPECT_EQ(base64_encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64_encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(Base64, DecodingStopsAtPaddingOrAForeignCharacter) {
    struct Case {
        std::string text;
        std::string bytes;
    };
    const Case cases[] = {
        {"Zg==", "f"},
        {"Zm8=", "fo"},
        {"Zm9v", "foo"},
        {"Zg", "f"},          // no padding
        {"Zm9v=Zm9v", "foo"}, // "=" ends decoding even in the middle
        {"QUJD\nREVG", "ABC"},
        {"QUJD REVG", "ABC"},
        {"QUJD-REVG", "ABC"},
        {"QUJD_REVG", "ABC"},
        {"QUJD\xc3\xa9REVG", "ABC"},
        {"Z", ""},            // a single character gives nothing
        {"!!!", ""},          // not base64 at all
        {"", ""},
        {"//4A", std::string("\xff\xfe\x00", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(base64_decode(c.text), c.bytes) << c.text;
}

TEST(Base64, LineBreakAfterSeventySixCharactersCutsTheRest) {
    const std::string data(57 * 2, 'q');
    const std::string encoded = base64_encode(data);
    const std::string wrapped = encoded.substr(0, 76) + "\n" + encoded.substr(76);
    EXPECT_EQ(base64_decode(wrapped), data.substr(0, 57));
}

TEST(Base64, AllByteValuesRoundTrip) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    EXPECT_EQ(base64_decode(base64_encode(all)), all);
}

TEST(Base64, AlphabetMembership) {
    int count = 0;
    for (int c = 0; c < 256; ++c) count += is_base64(static_cast<unsigned char>(c)) ? 1 : 0;
    EXPECT_EQ(count, 64);
    EXPECT_FALSE(is_base64('='));
    EXPECT_TRUE(is_base64('+'));
    EXPECT_TRUE(is_base64('/'));
}

} // namespace
