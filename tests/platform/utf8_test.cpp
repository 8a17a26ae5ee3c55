#include "Platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

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

} // namespace
