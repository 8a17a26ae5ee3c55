#include "vxmeta/foundation/text.h"

#include <gtest/gtest.h>

#include <regex>

#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/version.h"

using namespace VxMeta;
using Parts = std::vector<std::string>;

namespace {

TEST(SplitParts, KeepsEmptyParts) {
    EXPECT_EQ(splitParts("a--b", "-"), (Parts{"a", "", "b"}));
    EXPECT_EQ(splitParts("", "-"), (Parts{""}));
    EXPECT_EQ(splitParts("-", "-"), (Parts{"", ""}));
    EXPECT_EQ(splitParts("abc", "-"), (Parts{"abc"}));
    EXPECT_EQ(splitParts("V2-a-", "-"), (Parts{"V2", "a", ""}));
    EXPECT_EQ(splitParts("a|b-c", "|-"), (Parts{"a", "b", "c"})); // every character separates
}

TEST(TextCompare, CaseRules) {
    EXPECT_TRUE(eq("Abc", "aBC"));
    EXPECT_FALSE(eq("abc", "abcd"));
    EXPECT_FALSE(eq("\xC3\xA9", "\xC3\x89")); // bytes above ASCII are not letters
    EXPECT_EQ(canocase("MiXed-ÄB"), "mixed-Äb");
    EXPECT_TRUE(startswith("urn:x", "urn:"));
    EXPECT_TRUE(startswith("x", ""));
    EXPECT_FALSE(startswith("ur", "urn:"));
    EXPECT_FALSE(startswith("URN:x", "urn:"));
    EXPECT_TRUE(endswith("path/", "/"));
    EXPECT_TRUE(endswith("", ""));
    EXPECT_FALSE(endswith("/", "//"));
}

TEST(Fmt, OneTextDirectiveWithPrecision) {
    EXPECT_EQ(Fmt("Invalid signature on %s", "x"), "Invalid signature on x");
    EXPECT_EQ(Fmt("%.3s...", "abcdef"), "abc...");
}

TEST(QueryStrings, OnlyTheValueIsEncoded) {
    EXPECT_EQ(querySuffix("e mail", "a b&c"), "?e mail=a+b%26c");
    EXPECT_EQ(querySuffix("since", int64_t{-42}), "?since=-42");
    EXPECT_EQ(querySuffix2("q", "x/y"), "&q=x%2Fy");
    EXPECT_EQ(querySuffix2("n", int64_t{9007199254740993}), "&n=9007199254740993");
    EXPECT_EQ(qualifySuffix("user/", "email", "a+b@c"), "user/?email=a%2Bb%40c");
}

TEST(Urlencode, Table) {
    EXPECT_EQ(urlencode("a b&c/d~"), "a+b%26c%2Fd~");
    EXPECT_EQ(urlencode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(urlencode(":+=?%"), "%3A%2B%3D%3F%25");
    EXPECT_EQ(urlencode(std::string("\x00\x1f\x7f\xe9\xff", 5)), "%00%1F%7F%E9%FF");
}

TEST(Escapes, UrnsafeAndUrnxsafe) {
    EXPECT_EQ(urnsafe("a/b/c"), "a,b,c");
    EXPECT_EQ(urnxsafe("urn:a/b-c"), "urn%ca,b%hc");
    EXPECT_EQ(urnxsafe("%/\\?*-|:<>\"'"), "%%,%b%q%a%h%v%c%l%g%d%s");
    EXPECT_EQ(urnxsafe("a,b"), "a,b"); // "," stays, so "," and "/" both come out as ","
    EXPECT_EQ(urnxsafe(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(hex(std::string("\x00\xab\x10", 3)), "00ab10");
}

TEST(CheckPrefix, TagRules) {
    EXPECT_EQ(checkPrefix("V2-abc", "V2"), "abc");
    EXPECT_EQ(checkPrefix("V2-abc-def", "V2"), "abc-def");
    EXPECT_EQ(checkPrefix("V2-", "V2"), "");

    struct Case {
        const char* text;
        const char* category;
    };
    const Case failures[] = {
        {"V3-abc", VXMECAT_UPGRADE},  // written by a newer client
        {"W-abc", VXMECAT_UPGRADE},   // sorts after "V2" byte-wise
        {"abc", VXMECAT_INTERNAL},    // no hyphen
        {"V1-abc", VXMECAT_INTERNAL}, // older tag
        {"V10-abc", VXMECAT_INTERNAL}, // byte order, not numeric order
        {"V2", VXMECAT_INTERNAL},     // the tag alone
        {"", VXMECAT_INTERNAL},
    };
    for (const Case& c : failures) {
        try {
            checkPrefix(c.text, "V2");
            ADD_FAILURE() << c.text;
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, c.category) << c.text;
            if (e.category == std::string(VXMECAT_UPGRADE)) {
                EXPECT_EQ(e.message, "Unsupported data format encountered - possible upgrade required");
            }
        }
    }
}

TEST(CheckPrefix, InvalidDataMessageShowsThirtyCharacters) {
    try {
        checkPrefix("abcdefghijklmnopqrstuvwxyz0123456789", "V2");
        FAIL();
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.message, "Invalid data encountered abcdefghijklmnopqrstuvwxyz0123...");
    }
}

TEST(Version, ReadingAndOrder) {
    struct Case {
        const char* text;
        int major, minor, patch;
    };
    const Case cases[] = {{"1.0.257", 1, 0, 257}, {"1.2", 1, 2, 0}, {"x", 0, 0, 0}, {"2.x.5", 2, 0, 0}, {"", 0, 0, 0}};
    for (const Case& c : cases) {
        Version v(c.text);
        EXPECT_EQ(v.major, c.major) << c.text;
        EXPECT_EQ(v.minor, c.minor) << c.text;
        EXPECT_EQ(v.patch, c.patch) << c.text;
    }
    EXPECT_TRUE(V_1_0_257 < V_1_0_260);
    EXPECT_FALSE(V_1_0_260 < V_1_0_257);
    EXPECT_FALSE(Version("1.1") < Version("1.0.300"));
    EXPECT_TRUE(Version("1.0.300") < Version("1.1"));
    EXPECT_FALSE(V_1_0_257 < Version(std::string("1.0.257")));
    EXPECT_TRUE(Version("-1.0.0") < Version("0.0.0")); // signed members
}

TEST(TodayYMD, LocalDateFromTheLibraryClock) {
    setenv("TZ", "UTC", 1);
    tzset();
    setClock(std::make_shared<ManualClock>(int64_t{1551916800} * 1000 + 3600 * 1000)); // 2019-03-07 01:00 UTC
    EXPECT_EQ(todayYMD(), "2019-03-07");
    setClock(nullptr);
    EXPECT_TRUE(std::regex_match(todayYMD(), std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}")));
}

TEST(MatchPrefixList, PrefixesIgnoreCaseAndPlusMatchesTheRest) {
    struct Case {
        const char* text;
        const char* list;
        bool matches;
    };
    const Case cases[] = {
        {"Reader-Linux", "reader", true},          // a longer text, another letter case
        {"Reader", "reader-linux", false},         // a text shorter than the prefix
        {"Reader-9", "Reader-+x", true},           // "+" and what follows match anything
        {"Reader", "Reader+", true},
        {"Rea", "Reader+", false},
        {"Viewer", "reader,   viewer ", true},     // the second item, stripped of blanks
        {"Viewer", "reader, ,viewer", true},       // an empty item is skipped
        {"Viewer", "reader,   ", false},           // only blanks after the last comma
        {"Viewer", "reader", false},
        {"anything", "", true},                    // an empty list
        {"anything", "    ", true},                // blanks only
        {"", "x", false},
    };
    for (const Case& c : cases) EXPECT_EQ(matchPrefixList(c.text, c.list), c.matches) << c.text << " / " << c.list;
}

TEST(Trim, WhiteSpaceAtBothEnds) {
    EXPECT_EQ(trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(trim(" \t\n"), "");
    EXPECT_EQ(trim("x"), "x");
}

} // namespace
