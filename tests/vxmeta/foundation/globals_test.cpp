#include "vxmeta/foundation/globals.h"

#include <gtest/gtest.h>

#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;

namespace {

TEST(Globals, LoadTimeValues) {
    EXPECT_EQ(vmLogLevel.load(), 4);
    EXPECT_EQ(MFA_ACTIONS, (std::vector<std::string>{"login", "encrypt", "decrypt"}));
    EXPECT_EQ(remoteDisabledCache.validity, 900);
    EXPECT_EQ(lastUserLookup.validity, 2);
    EXPECT_EQ(netAppCallback.load(), nullptr);
    EXPECT_TRUE(emptyString.empty());
    EXPECT_EQ(base64_chars, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Globals, BuiltInServiceKeyHasTheV2Form) {
    ASSERT_EQ(cmdsPubkey.size(), 363u);
    EXPECT_EQ(cmdsPubkey.substr(0, 3), "V2-");
    // A DER RSAPublicKey of 2048 bits: 270 bytes, a SEQUENCE with a two-byte length.
    const std::string der = base64_decode(cmdsPubkey.substr(3));
    ASSERT_EQ(der.size(), 270u);
    EXPECT_EQ(static_cast<unsigned char>(der[0]), 0x30);
}

TEST(CacheOneLookup, ValidForTheKeyUntilTheLifetimeEnds) {
    auto manual = std::make_shared<ManualClock>(1'700'000'000'000);
    setClock(manual);
    CacheOneLookup<std::string, std::string> cache(2);
    EXPECT_FALSE(cache.isValid("")); // a new cache holds nothing
    cache.set("a", "value");
    EXPECT_TRUE(cache.isValid("a"));
    EXPECT_FALSE(cache.isValid("A"));
    manual->advanceMillis(1999);
    EXPECT_TRUE(cache.isValid("a"));
    manual->advanceMillis(1);
    EXPECT_FALSE(cache.isValid("a"));
    cache.set("b", "");
    EXPECT_TRUE(cache.isValid("b"));
    cache.clear();
    EXPECT_FALSE(cache.isValid("b"));
    setClock(nullptr);
}

} // namespace
