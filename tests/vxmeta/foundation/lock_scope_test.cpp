#include "vxmeta/foundation/lock_scope.h"

#include <gtest/gtest.h>

#include <future>
#include <system_error>
#include <thread>

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

} // namespace
