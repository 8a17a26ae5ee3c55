#include "vxmeta/records/field_codec.h"

#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"

using namespace VxMeta;

namespace {

// The conversions follow the JSON library's own rules where it succeeds.
struct Conversion {
    const char* json;
    const char* text;   // readText, or null when it must fail
    const char* int32;  // readInt32 as decimal, or null
    const char* int64;  // readInt64 as decimal, or null
    const char* boolean; // "true"/"false", or null
};

const Conversion conversions[] = {
    {"null", "", "0", "0", "false"},
    {"\"abc\"", "abc", nullptr, nullptr, nullptr},
    {"\"12\"", "12", nullptr, nullptr, nullptr},
    {"12", "12", "12", "12", "true"},
    {"-7", "-7", "-7", "-7", "true"},
    {"0", "0", "0", "0", "false"},
    {"true", "true", "1", "1", "true"},
    {"false", "false", "0", "0", "false"},
    {"2.75", "2.75", "2", "2", "true"},
    {"-2.75", "-2.75", "-2", "-2", "true"},
    {"2147483648", "2147483648", nullptr, "2147483648", "true"},
    {"-2147483649", "-2147483649", nullptr, "-2147483649", "true"},
    {"9223372036854775807", "9223372036854775807", nullptr, "9223372036854775807", "true"},
    {"18446744073709551615", "18446744073709551615", nullptr, nullptr, "true"},
    {"1e300", "1.0000000000000001e+300", nullptr, nullptr, "true"},
    {"[]", nullptr, nullptr, nullptr, nullptr},
    {"[1]", nullptr, nullptr, nullptr, nullptr},
    {"{}", nullptr, nullptr, nullptr, nullptr},
};

void expectConversion(const char* json, const char* expected, const std::function<std::string()>& read) {
    if (expected) {
        EXPECT_EQ(read(), expected) << json;
        return;
    }
    try {
        read();
        ADD_FAILURE() << json << " must not convert";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_PROTOCOL) << json;
        EXPECT_NE(e.message.find("member"), std::string::npos) << e.message;
    }
}

TEST(FieldCodec, ConvertsAsTheJsonLibraryAndRefusesWhatItCannot) {
    for (const Conversion& c : conversions) {
        const Json::Value value = parseJson(c.json);
        expectConversion(c.json, c.text, [&] { return readText(value, "member"); });
        expectConversion(c.json, c.int32, [&] { return std::to_string(readInt32(value, "member")); });
        expectConversion(c.json, c.int64, [&] { return std::to_string(readInt64(value, "member")); });
        expectConversion(c.json, c.boolean, [&] { return std::string(readBool(value, "member") ? "true" : "false"); });
    }
}

TEST(FieldCodec, IntegerBoundsAreExact) {
    EXPECT_EQ(readInt32(Json::Value(2147483647), "m"), 2147483647);
    EXPECT_EQ(readInt32(Json::Value(-2147483647 - 1), "m"), -2147483647 - 1);
    EXPECT_EQ(readInt64(Json::Value(Json::Int64(INT64_MIN)), "m"), INT64_MIN);
    EXPECT_THROW(readInt64(Json::Value(9223372036854775808.0), "m"), VxMetaException);
    EXPECT_EQ(readInt64(Json::Value(-9223372036854775808.0), "m"), INT64_MIN);
    EXPECT_THROW(readInt32(Json::Value(2147483648.0), "m"), VxMetaException);
    EXPECT_EQ(readInt32(Json::Value(2147483647.9), "m"), 2147483647);
}

} // namespace
