// The library-wide locks and LockScope, the guard through which every one of them is taken.
// Lock order: sync, master, cluster evaluator, server registry, one server; the log locks are leaves.
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

// Levels of the master lock the calling thread holds through LockScope.
int masterLockDepth();
// Debug builds stop when the calling thread holds the master lock at a point that must not
// (a request to the service, a wait for an MFA answer). `what` names that point.
void assertMasterLockNotHeld(const char* what);

} // namespace VxMeta
