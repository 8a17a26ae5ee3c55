#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/random_source.h"

#include <gtest/gtest.h>

#include "support/fixed_random_source.h"

#include <set>
#include <thread>
#include <stdexcept>

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

TEST(Clock, ClockHandedOutOutlivesItsReplacement) {
    setClock(std::make_shared<ManualClock>(7'000)); // the library holds the only reference
    const Clock& handed = currentClock();
    setClock(std::make_shared<ManualClock>(9'000));
    EXPECT_EQ(handed.nowMillis(), 7'000); // still the clock handed out, not freed memory
    EXPECT_EQ(nowMillis(), 9'000);
    setClock(nullptr);
}

TEST(Clock, ManualClockMovesWhileAnotherThreadReadsIt) {
    // A data race here shows under the ThreadSanitizer preset; every step must also be seen whole.
    auto manual = std::make_shared<ManualClock>(0);
    setClock(manual);
    std::thread reader([] {
        int64_t last = 0;
        for (int i = 0; i < 20'000; ++i) {
            const int64_t now = nowMillis();
            ASSERT_GE(now, last);
            ASSERT_EQ(now % 1000, 0);
            last = now;
        }
    });
    for (int i = 0; i < 20'000; ++i) manual->advanceSeconds(1);
    reader.join();
    EXPECT_EQ(nowSeconds(), 20'000);
    setClock(nullptr);
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

// Always the largest value, and a failure once far more draws were asked for than any bound needs.
class AllOnesSource : public RandomSource {
public:
    uint32_t next() override {
        if (++draws > 10'000) throw std::runtime_error("randomBelow keeps drawing");
        return UINT32_MAX;
    }
    int draws = 0;
};

TEST(RandomSource, FixedSourceAtTheTopOfTheRangeStillGivesAValue) {
    // Such a source lands on every draw in the range that fair sampling draws again.
    const uint64_t bounds[] = {1, 2, 3, 10, 1u << 20, uint64_t{1} << 40, (uint64_t{1} << 63) + 1, UINT64_MAX};
    for (uint64_t bound : bounds) {
        auto source = std::make_shared<AllOnesSource>();
        setRandomSource(source);
        uint64_t value = 0;
        EXPECT_NO_THROW(value = randomBelow(bound)) << bound;
        EXPECT_LT(value, bound);
        EXPECT_LE(source->draws, 2 * 64) << bound;
    }
    setRandomSource(std::make_shared<AllOnesSource>());
    EXPECT_NO_THROW(EXPECT_EQ(randomBetween(7, 7), 7));
    EXPECT_NO_THROW(EXPECT_LE(randomBetween(-5, 5), 5));
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
