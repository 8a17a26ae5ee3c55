#include "Platform/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(PlatformUtf8, WellFormedTextOnly) {
    struct Row {
        std::string bytes;
        bool text;
    };
    const Row rows[] = {
        {"", true},
        {"plain ascii", true},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x91", true},
        {"\xF4\x8F\xBF\xBF", true},        // U+10FFFF
        {"\xC0\xAF", false},                // overlong "/"
        {"\xE0\x80\xAF", false},            // overlong three bytes
        {"\xED\xA0\x80", false},            // a surrogate
        {"\xF4\x90\x80\x80", false},        // above U+10FFFF
        {"\xC3", false},                    // cut short
        {"\x80", false},                    // a lone continuation byte
        {"\xFF", false},
        {std::string("a\0b", 3), true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Platform::isValidUtf8(row.bytes), row.text) << testing::PrintToString(row.bytes);
    }
}

TEST(PlatformUtf8, RepairReplacesEachMalformedRunOnce) {
    const std::string replacement = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"\xC3\xA9t\xC3\xA9 \xF0\x9F\x94\x91", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x94\x91"},
        {"a\xFF" "b", "a" + replacement + "b"},
        {"\xE2\x82" "A", replacement + "A"},             // a three-byte start cut short
        {"\xC0\xAF", replacement + replacement},        // no byte of an overlong form starts text
        {"\xED\xA0\x80", replacement + replacement + replacement},
        {"x\xF0\x9F\x94", "x" + replacement},          // cut short at the end
        {"\x80\x80", replacement + replacement},
    };
    for (const auto& [bytes, repaired] : rows) {
        EXPECT_EQ(Platform::repairedUtf8(bytes), repaired) << testing::PrintToString(bytes);
        EXPECT_TRUE(Platform::isValidUtf8(Platform::repairedUtf8(bytes)));
    }
}

} // namespace
