#include "vxmeta/foundation/lock_scope.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "vxmeta/foundation/log.h"

using namespace VxMeta;

namespace {

// True when another thread can take the lock right now.
bool freeForOthers(std::recursive_mutex& mutex) {
    return std::async(std::launch::async, [&] {
               if (!mutex.try_lock()) return false;
               mutex.unlock();
               return true;
           }).get();
}

int hookCalls = 0;
int activitiesAlive = 0;
struct Activity : LongRunningActivity {
    Activity() { ++activitiesAlive; }
    ~Activity() override { --activitiesAlive; }
};
LongRunningActivity* countingHook() {
    ++hookCalls;
    return new Activity;
}
LongRunningActivity* nullHook() {
    ++hookCalls;
    return nullptr;
}

struct HookGuard {
    explicit HookGuard(LongRunningActivityHook hook) {
        hookCalls = 0;
        wrapLongRunningActivity = hook;
    }
    ~HookGuard() { wrapLongRunningActivity = nullptr; }
};

TEST(LockScope, RecursiveScopeReturnsAtOnceAndOuterLevelStaysHeld) {
    LockScope outer(syncMutex);
    {
        LockScope inner(syncMutex);
        EXPECT_TRUE(inner.isLocked());
    }
    EXPECT_FALSE(freeForOthers(syncMutex));
}

TEST(LockScope, InnerUnlockLeavesOuterLevelHeld) {
    LockScope outer(masterMutex);
    LockScope inner(masterMutex);
    inner.unlock();
    EXPECT_FALSE(inner.isLocked());
    EXPECT_FALSE(freeForOthers(masterMutex));
    EXPECT_EQ(masterLockDepth(), 1);
}

TEST(LockScope, UnlockAndLockAreCountedAndReleasedByTheDestructor) {
    const uint64_t before = masterLockCount.load();
    {
        LockScope scope(masterMutex);
        scope.unlock();
        EXPECT_TRUE(freeForOthers(masterMutex));
        scope.lock();
        EXPECT_FALSE(freeForOthers(masterMutex));
        EXPECT_EQ(masterLockDepth(), 1);
    }
    EXPECT_EQ(masterLockCount.load() - before, 2u);
    EXPECT_TRUE(freeForOthers(masterMutex));
    EXPECT_EQ(masterLockDepth(), 0);
}

TEST(LockScope, SyncLockIsCountedOtherLocksAreNot) {
    std::recursive_mutex own;
    const uint64_t sync = syncLockCount.load();
    const uint64_t master = masterLockCount.load();
    { LockScope a(syncMutex); }
    { LockScope b(own); }
    EXPECT_EQ(syncLockCount.load() - sync, 1u);
    EXPECT_EQ(masterLockCount.load(), master);
}

TEST(LockScope, ReleasedScopeReleasesNothingAtItsEnd) {
    LockScope outer(syncMutex);
    {
        LockScope inner(syncMutex);
        inner.unlock();
    } // must not release the outer level a second time
    EXPECT_FALSE(freeForOthers(syncMutex));
    outer.unlock();
    EXPECT_TRUE(freeForOthers(syncMutex));
}

TEST(LockScope, MisuseIsTheUniqueLocksOwnError) {
    LockScope scope(syncMutex);
    EXPECT_THROW(scope.lock(), std::system_error);
    scope.unlock();
    EXPECT_THROW(scope.unlock(), std::system_error);
}

TEST(LockScope, HookRunsForEveryAcquisitionEvenOfAFreeLock) {
    HookGuard guard(countingHook);
    {
        LockScope scope(syncMutex);
        EXPECT_EQ(hookCalls, 1);
        EXPECT_EQ(activitiesAlive, 0); // destroyed once the lock is held
        LockScope again(syncMutex);
        EXPECT_EQ(hookCalls, 2);
        scope.unlock();
        scope.lock();
        EXPECT_EQ(hookCalls, 3);
    }
    EXPECT_EQ(activitiesAlive, 0);
}

TEST(LockScope, HookMayReturnNull) {
    HookGuard guard(nullHook);
    LockScope scope(masterMutex);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_TRUE(scope.isLocked());
}

TEST(LockScope, WithoutHookNothingIsCalled) {
    hookCalls = 0;
    LockScope scope(masterMutex);
    EXPECT_EQ(hookCalls, 0);
}

TEST(LockScope, ThrowingHookLeavesTheLockUntaken) {
    HookGuard guard(+[]() -> LongRunningActivity* { throw std::runtime_error("hook"); });
    EXPECT_THROW(LockScope scope(masterMutex), std::runtime_error);
    wrapLongRunningActivity = nullptr;
    EXPECT_TRUE(freeForOthers(masterMutex));
    EXPECT_EQ(masterLockDepth(), 0);
}

TEST(LockScope, WaitsForAnotherThreadToRelease) {
    std::promise<void> held, release;
    std::thread owner([&] {
        LockScope scope(masterMutex);
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    EXPECT_FALSE(freeForOthers(masterMutex));
    release.set_value();
    LockScope mine(masterMutex); // returns once the owner let go
    EXPECT_TRUE(mine.isLocked());
    owner.join();
}

#ifndef NDEBUG
TEST(LockScopeDeathTest, RequestPointAssertsWhileMasterLockIsHeld) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    assertMasterLockNotHeld("test"); // not held: nothing happens
    EXPECT_DEATH(
        {
            LockScope scope(masterMutex);
            assertMasterLockNotHeld("a request");
        },
        "master lock held at a request");
}
#endif

#ifndef NDEBUG
std::vector<std::pair<LockRank, LockRank>> breaches; // (taken, held)

// Thrown by the test hook, so that a lock taken out of order is never taken: the tests must not
// build a real inversion (ThreadSanitizer reports one of its own).
struct RefusedLock {};

void refuseBreach(LockRank taken, LockRank held) {
    breaches.emplace_back(taken, held);
    throw RefusedLock();
}

struct BreachRecorder {
    BreachRecorder() {
        breaches.clear();
        lockOrderBreachHook = refuseBreach;
    }
    ~BreachRecorder() { lockOrderBreachHook = nullptr; }
};

// Takes locks by letter and holds them until it ends, releasing in reverse: S sync, M master (both
// through LockScope), E evaluator, R registry, V and W two servers (through OrderedLock on locks of
// their own), L the log lock (a leaf). A lock the hook refused is not held.
class LockTaker {
public:
    void take(char which) {
        try {
            switch (which) {
            case 'S': scopes.push_back(std::make_unique<Held>(syncMutex)); break;
            case 'M': scopes.push_back(std::make_unique<Held>(masterMutex)); break;
            case 'L': scopes.push_back(std::make_unique<Held>(logMutex)); break;
            case 'E': scopes.push_back(std::make_unique<Held>(evaluator, LockRank::evaluator)); break;
            case 'R': scopes.push_back(std::make_unique<Held>(registry, LockRank::registry)); break;
            case 'V': scopes.push_back(std::make_unique<Held>(server, LockRank::server)); break;
            case 'W': scopes.push_back(std::make_unique<Held>(otherServer, LockRank::server)); break;
            default: FAIL() << "no lock " << which;
            }
        } catch (const RefusedLock&) {
        }
    }
    ~LockTaker() {
        while (!scopes.empty()) scopes.pop_back();
    }

private:
    struct Held {
        explicit Held(std::recursive_mutex& mutex) : scope(std::make_unique<LockScope>(mutex)) {}
        Held(std::recursive_mutex& mutex, LockRank rank) : ordered(std::make_unique<OrderedLock>(mutex, rank)) {}
        std::unique_ptr<LockScope> scope;
        std::unique_ptr<OrderedLock> ordered;
    };
    std::recursive_mutex evaluator, registry, server, otherServer;
    std::vector<std::unique_ptr<Held>> scopes;
};

TEST(LockOrder, EveryBreachOfTheWrittenOrderIsReported) {
    struct Case {
        const char* taken; // in this order, each held until the case ends
        std::vector<std::pair<LockRank, LockRank>> expected;
    };
    using R = LockRank;
    const Case cases[] = {
        {"SMERV", {}},
        {"SE", {}},
        {"MV", {}},
        {"ERV", {}},
        {"SMSMEE", {}}, // a held lock is taken again without waiting
        {"SMEM", {}},
        {"SMERVL", {}}, // a leaf comes last
        {"MS", {{R::sync, R::master}}},
        {"EM", {{R::master, R::evaluator}}},
        {"SRE", {{R::evaluator, R::registry}}},
        {"VR", {{R::registry, R::server}}},
        {"VW", {{R::server, R::server}}}, // one server at a time
        {"ERVS", {{R::sync, R::server}}},
        {"LM", {{R::master, R::leaf}}},
        {"LV", {{R::server, R::leaf}}},
        {"EMR", {{R::master, R::evaluator}}}, // the refused lock is not held: the registry may follow
    };
    for (const Case& c : cases) {
        BreachRecorder recorder;
        {
            LockTaker taker;
            for (const char* which = c.taken; *which; ++which) taker.take(*which);
        }
        EXPECT_EQ(breaches, c.expected) << c.taken;
    }
}

TEST(LockOrder, OnlyLocksStillHeldCount) {
    BreachRecorder recorder;
    std::recursive_mutex evaluator;
    { OrderedLock released(evaluator, LockRank::evaluator); }
    {
        LockScope sync(syncMutex);
        LockScope master(masterMutex); // the evaluator's lock was released: fine
        master.unlock();
        OrderedLock held(evaluator, LockRank::evaluator);
        EXPECT_THROW(master.lock(), RefusedLock); // retaken under the evaluator's lock
        EXPECT_FALSE(master.isLocked());
        LockScope again(syncMutex); // held already: fine
    }
    const std::vector<std::pair<LockRank, LockRank>> expected = {{LockRank::master, LockRank::evaluator}};
    EXPECT_EQ(breaches, expected);
    EXPECT_EQ(masterLockDepth(), 0);
}

TEST(LockScopeDeathTest, BreachOfTheLockOrderStopsDebugBuilds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::recursive_mutex evaluator;
            OrderedLock held(evaluator, LockRank::evaluator);
            LockScope scope(masterMutex);
        },
        "lock order broken: master lock taken while the cluster evaluator lock is held");
}
#endif

} // namespace
