// The library-wide locks and LockScope, the guard through which every one of them is taken, and
// OrderedLock, the plain guard of the locks the cluster objects carry.
// Lock order: sync, master, cluster evaluator, server registry, one server; the log locks are leaves.
// Debug builds check the order at every acquisition through either guard and stop at a breach.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace VxMeta {

// What the host's lock-wait hook returns; its creation and destruction bracket one wait.
class LongRunningActivity {
public:
    virtual ~LongRunningActivity();
};

using LongRunningActivityHook = LongRunningActivity* (*)();

// Held for whole operations that change the account or the dataset.
extern std::recursive_mutex syncMutex;
// Guards the in-memory dataset and the shared state; taken inside the sync lock.
extern std::recursive_mutex masterMutex;
extern std::atomic<uint64_t> syncLockCount;
extern std::atomic<uint64_t> masterLockCount;
// Called before every acquisition through LockScope, even of a free lock. Null: no hook.
extern std::atomic<LongRunningActivityHook> wrapLongRunningActivity;

// Places in the lock order. A thread takes a lock only when every lock it holds comes earlier, or
// when it holds that very lock already (the locks are recursive); at most one server lock at a time.
// A leaf is taken last: nothing ordered is taken while a leaf is held.
enum class LockRank : uint8_t { sync = 1, master, evaluator, registry, server, leaf };

// The name of a rank, for the breach report ("sync", "master", ...).
const char* lockRankName(LockRank rank);

// Scope guard over one recursive library lock that can release it early and take it again.
// Acquisitions of syncMutex and masterMutex are counted. Neither copied nor moved.
class LockScope {
public:
    explicit LockScope(std::recursive_mutex& mutex);
    ~LockScope();
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

    // Releases the lock; only on a scope that holds it (else std::system_error).
    void unlock();
    // Takes the lock again; only on a scope that released it (else std::system_error).
    void lock();
    bool isLocked() const { return locked; }

private:
    void acquire();

    std::unique_lock<std::recursive_mutex> heldLock;
    bool locked = false;
};

// Scope guard of the lock a cluster object carries (the evaluator's, the registry's, one server's):
// a plain scoped lock, without the hook and without counting, whose place in the order is checked.
class OrderedLock {
public:
    OrderedLock(std::recursive_mutex& mutex, LockRank rank);
    ~OrderedLock();
    OrderedLock(const OrderedLock&) = delete;
    OrderedLock& operator=(const OrderedLock&) = delete;

private:
    std::recursive_mutex& held;
};

// Debug builds: the hook a breach of the lock order calls, with the rank taken and the rank held
// that forbids it. Null (the default): the breach is written to standard error and the process stops.
using LockOrderBreachHook = void (*)(LockRank taken, LockRank held);
extern std::atomic<LockOrderBreachHook> lockOrderBreachHook;

// Levels of the master lock the calling thread holds through LockScope.
int masterLockDepth();
// Debug builds stop when the calling thread holds the master lock at a point that must not
// (a request to the service, a wait for an MFA answer). `what` names that point.
void assertMasterLockNotHeld(const char* what);

} // namespace VxMeta
