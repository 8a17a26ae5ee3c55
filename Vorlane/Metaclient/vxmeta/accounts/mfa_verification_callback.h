// The hand-off of an MFA verification to the host: the callback the host registers, the expectant
// that a waiting thread blocks on, and the signaler whose last release wakes it with whatever answer
// the host stored by then. Also the registration of the callback and of the capable kinds.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "vxmeta/accounts/mfa_verification.h"

namespace VxMeta {

class MFAPair;
class MfaPolicy;

// The waiting side of one hand-off. The host stores its answer in `result` (under `mutex`) before it
// lets go of the last signaler. The mutex and condition variable belong to one wait and are shared
// with the expectant, so a signaler released late (after a failed callback) still finds them.
template <class T>
class Expectant {
public:
    Expectant(std::shared_ptr<std::recursive_mutex> waitMutex, std::shared_ptr<std::condition_variable_any> waitCondition)
        : mutex(std::move(waitMutex)), condition(std::move(waitCondition)) {}

    // With `lock` holding `mutex`: waits, without time limit, until signalled; then a copy of result.
    T wait(std::unique_lock<std::recursive_mutex>& lock) {
        while (!done) condition->wait(lock);
        return result;
    }
    // Marks the hand-off done and wakes the waiter. On the waiting thread itself (inside the
    // callback) the recursive mutex is already its own, and the wait then does not block.
    void signal() {
        {
            std::lock_guard<std::recursive_mutex> guard(*mutex);
            done = true;
        }
        condition->notify_one();
    }

    std::shared_ptr<std::recursive_mutex> mutex;
    std::shared_ptr<std::condition_variable_any> condition;
    bool done = false;
    T result;
};

// Releasing the last reference to a signaler wakes its expectant.
class Signaler {
public:
    explicit Signaler(std::shared_ptr<Expectant<MfaVerification>> waiting) : expectant(std::move(waiting)) {}
    ~Signaler();
    Signaler(const Signaler&) = delete;
    Signaler& operator=(const Signaler&) = delete;

    std::shared_ptr<Expectant<MfaVerification>> expectant;
};

class MfaVerificationCallback {
public:
    // The host's function: called on the waiting thread with the signaler and a copy of the
    // verification. It may keep copies of the signaler (for work on another thread) and stores its
    // answer in the signaler's expectant before the last copy goes.
    using Function = void (*)(std::shared_ptr<Signaler>& signaler, MfaVerification verification);

    explicit MfaVerificationCallback(Function f) : function(f) {}

    // Hands the verification to the host and blocks until every signaler reference is gone; the
    // verification is then replaced by the answer. A failure of the host is logged (level 1) and
    // leaves the question unanswered. The pairs and the policy are not consulted. The caller must
    // not hold the master lock.
    void wait(MfaVerification& verification, const std::vector<std::shared_ptr<MFAPair>>& pairs,
              const MfaPolicy& policy) const;
    bool valid() const { return function != nullptr; }

    Function function;
};

// The registered callback; empty while none is. Read and replaced under the master lock.
extern std::shared_ptr<MfaVerificationCallback> mfaVerificationCallbackSP;

// Under the master lock: registers the function (replacing an earlier one), or removes the callback
// for null.
void setMfaVerificationCallback(MfaVerificationCallback::Function function);
// Under the master lock: replaces the kinds this client can verify and those it can create.
void setCapableMfaKinds(const std::set<std::string>& verificationKinds, const std::set<std::string>& creationKinds);

} // namespace VxMeta
