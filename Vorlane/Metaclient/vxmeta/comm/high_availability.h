// HighAvailability: the failover wrapper. It runs an operation and, while the operation throws the
// failover signal, runs it again from its start (switching the cluster to its master when the signal
// asks for it). Repetition is bounded: after (known servers + 2) attempts the last failure is thrown
// as a VXMECAT_COMMUNICATION_ERROR. Any other exception passes through unchanged.
#pragma once

#include <cstdint>
#include <utility>

#include "vxmeta/comm/cluster_evaluator_reseter.h"
#include "vxmeta/comm/cluster_exception.h"

namespace VxMeta {

// The bookkeeping of one wrapped call: the master-only guard and the attempt count.
class FailoverAttempts {
public:
    FailoverAttempts() = default;
    FailoverAttempts(const FailoverAttempts&) = delete;
    FailoverAttempts& operator=(const FailoverAttempts&) = delete;

    // An attempt ended with `signal`: switches to the master when asked, or throws the final failure
    // when the attempts are used up.
    void failedOver(const ClusterException& signal);
    int32_t attempts() const { return count; }

private:
    ClusterEvaluatorReseter reseter;
    int32_t count = 0;
};

// Runs `operation` () under the failover rule and returns its result.
template <typename Operation>
decltype(auto) HighAvailability(Operation&& operation) {
    FailoverAttempts attempts;
    for (;;) {
        try {
            return operation();
        } catch (const ClusterException& signal) {
            attempts.failedOver(signal);
        }
    }
}

// A member operation of `object` with the given arguments.
template <typename Result, typename Object, typename... Params, typename... Args>
Result HighAvailability(Object& object, Result (Object::*operation)(Params...), Args&&... args) {
    return HighAvailability([&]() -> Result { return (object.*operation)(args...); });
}

// A free operation with the given arguments (none for the remote checks).
template <typename Result, typename... Params, typename... Args>
Result HighAvailability(Result (*operation)(Params...), Args&&... args) {
    return HighAvailability([&]() -> Result { return operation(args...); });
}

} // namespace VxMeta
