#include "vxmeta/foundation/lock_scope.h"

#include <cassert>
#include <cstdio>
#include <memory>

namespace VxMeta {

std::recursive_mutex syncMutex;
std::recursive_mutex masterMutex;
std::atomic<uint64_t> syncLockCount{0};
std::atomic<uint64_t> masterLockCount{0};
std::atomic<LongRunningActivityHook> wrapLongRunningActivity{nullptr};

namespace {
thread_local int masterDepth = 0;
}

LongRunningActivity::~LongRunningActivity() = default;

LockScope::LockScope(std::recursive_mutex& mutex) : heldLock(mutex, std::defer_lock) { acquire(); }

LockScope::~LockScope() {
    if (locked && heldLock.mutex() == &masterMutex) --masterDepth;
}

void LockScope::acquire() {
    std::unique_ptr<LongRunningActivity> activity;
    if (LongRunningActivityHook hook = wrapLongRunningActivity.load()) activity.reset(hook());
    heldLock.lock();
    locked = true;
    if (heldLock.mutex() == &syncMutex) {
        ++syncLockCount;
    } else if (heldLock.mutex() == &masterMutex) {
        ++masterLockCount;
        ++masterDepth;
    }
    // The activity object is destroyed as soon as the lock is held.
}

void LockScope::unlock() {
    heldLock.unlock();
    locked = false;
    if (heldLock.mutex() == &masterMutex) --masterDepth;
}

void LockScope::lock() {
    if (heldLock.owns_lock()) {
        // Let the unique lock report the misuse with its own error.
        heldLock.lock();
    }
    acquire();
}

int masterLockDepth() { return masterDepth; }

void assertMasterLockNotHeld([[maybe_unused]] const char* what) {
#ifndef NDEBUG
    if (masterDepth > 0) {
        std::fprintf(stderr, "master lock held at %s\n", what);
        assert(!"the master lock must not be held here");
    }
#endif
}

} // namespace VxMeta
