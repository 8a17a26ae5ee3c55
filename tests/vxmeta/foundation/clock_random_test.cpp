#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/random_source.h"

#include <gtest/gtest.h>

#include "support/fixed_random_source.h"

#include <set>

using namespace VxMeta;
using VxMeta::testing::FixedSource;

namespace {

TEST(Clock, InstalledClockIsReadEverywhere) {
    auto manual = std::make_shared<ManualClock>(5'000);
    setClock(manual);
    EXPECT_EQ(nowSeconds(), 5);
    EXPECT_EQ(nowMillis(), 5'000);
    manual->advanceSeconds(86401);
    EXPECT_EQ(nowSeconds(), 86406);
    manual->advanceMillis(999);
    EXPECT_EQ(currentClock().nowMillis(), 86'406'999);
    setClock(nullptr);
    EXPECT_GT(nowSeconds(), 1'600'000'000); // the system clock again
}

TEST(RandomSource, InstalledSourceDrivesTheHelpers) {
    setRandomSource(std::make_shared<FixedSource>(std::vector<uint32_t>{0, 7}));
    EXPECT_EQ(randomBelow(10), 7u);
    EXPECT_EQ(randomBetween(-3, 3), -3 + 7 % 7);
    EXPECT_EQ(randomBetween(5, 5), 5);
    EXPECT_EQ(randomBetween(5, 1), 5);
    EXPECT_EQ(randomBelow(0), 0u);
    setRandomSource(nullptr);
}

TEST(RandomSource, SeededSourcesRepeatAndStayInRange) {
    SeededRandomSource a(42), b(42);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(a.next(), b.next());
    std::set<int64_t> seen;
    for (int i = 0; i < 2000; ++i) {
        int64_t v = randomBetween(-2, 2);
        ASSERT_GE(v, -2);
        ASSERT_LE(v, 2);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 5u);
}

} // namespace
