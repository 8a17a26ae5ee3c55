#include "vxmeta/foundation/lock_scope.h"

#include <cassert>
#include <cstdio>
#include <memory>
#include <vector>

#include "vxmeta/foundation/comm_log_entry.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta {

std::recursive_mutex syncMutex;
std::recursive_mutex masterMutex;
std::atomic<uint64_t> syncLockCount{0};
std::atomic<uint64_t> masterLockCount{0};
std::atomic<LongRunningActivityHook> wrapLongRunningActivity{nullptr};
std::atomic<LockOrderBreachHook> lockOrderBreachHook{nullptr};

namespace {

thread_local int masterDepth = 0;

#ifndef NDEBUG
// The ordered locks the calling thread holds, one entry per level taken, in the order taken.
struct HeldLock {
    const void* mutex;
    LockRank rank;
};
thread_local std::vector<HeldLock> heldLocks;

void breach(LockRank taken, LockRank held) {
    if (LockOrderBreachHook hook = lockOrderBreachHook.load()) {
        hook(taken, held);
        return;
    }
    std::fprintf(stderr, "lock order broken: %s lock taken while the %s lock is held\n", lockRankName(taken),
                 lockRankName(held));
    assert(!"locks must be taken in the written order");
}
#endif

// Before a wait for the lock: a lock this thread holds already may be taken again; any other only
// when every held lock comes earlier in the order.
void noteTaking([[maybe_unused]] const void* mutex, [[maybe_unused]] LockRank rank) {
#ifndef NDEBUG
    bool again = false;
    const HeldLock* latest = nullptr;
    for (const HeldLock& entry : heldLocks) {
        if (entry.mutex == mutex) again = true;
        if (entry.rank >= rank && (!latest || entry.rank > latest->rank)) latest = &entry;
    }
    if (!again && latest) breach(rank, latest->rank);
    heldLocks.push_back({mutex, rank});
#endif
}

void noteReleased([[maybe_unused]] const void* mutex) {
#ifndef NDEBUG
    for (auto entry = heldLocks.rbegin(); entry != heldLocks.rend(); ++entry) {
        if (entry->mutex == mutex) {
            heldLocks.erase(std::next(entry).base());
            return;
        }
    }
#endif
}

// The place of a lock taken through LockScope; false for a lock outside the order.
bool rankOf(const std::recursive_mutex* mutex, LockRank& rank) {
    if (mutex == &syncMutex) {
        rank = LockRank::sync;
    } else if (mutex == &masterMutex) {
        rank = LockRank::master;
    } else if (mutex == &logMutex || mutex == &commLogMutex) {
        rank = LockRank::leaf;
    } else {
        return false;
    }
    return true;
}

} // namespace

const char* lockRankName(LockRank rank) {
    switch (rank) {
    case LockRank::sync: return "sync";
    case LockRank::master: return "master";
    case LockRank::evaluator: return "cluster evaluator";
    case LockRank::registry: return "server registry";
    case LockRank::server: return "server";
    case LockRank::leaf: return "leaf";
    }
    return "unknown";
}

LongRunningActivity::~LongRunningActivity() = default;

LockScope::LockScope(std::recursive_mutex& mutex) : heldLock(mutex, std::defer_lock) { acquire(); }

LockScope::~LockScope() {
    if (!locked) return;
    if (heldLock.mutex() == &masterMutex) --masterDepth;
    LockRank rank;
    if (rankOf(heldLock.mutex(), rank)) noteReleased(heldLock.mutex());
}

void LockScope::acquire() {
    std::unique_ptr<LongRunningActivity> activity;
    if (LongRunningActivityHook hook = wrapLongRunningActivity.load()) activity.reset(hook());
    LockRank rank;
    const bool ordered = rankOf(heldLock.mutex(), rank);
    if (ordered) noteTaking(heldLock.mutex(), rank);
    try {
        heldLock.lock();
    } catch (...) {
        if (ordered) noteReleased(heldLock.mutex());
        throw;
    }
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
    LockRank rank;
    if (rankOf(heldLock.mutex(), rank)) noteReleased(heldLock.mutex());
}

void LockScope::lock() {
    if (heldLock.owns_lock()) {
        // Let the unique lock report the misuse with its own error.
        heldLock.lock();
    }
    acquire();
}

OrderedLock::OrderedLock(std::recursive_mutex& mutex, LockRank rank) : held(mutex) {
    noteTaking(&mutex, rank);
    try {
        held.lock();
    } catch (...) {
        noteReleased(&mutex);
        throw;
    }
}

OrderedLock::~OrderedLock() {
    held.unlock();
    noteReleased(&held);
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
