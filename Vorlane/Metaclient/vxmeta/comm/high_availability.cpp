#include "vxmeta/comm/high_availability.h"

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta {

void FailoverAttempts::failedOver(const ClusterException& signal) {
    ClusterEvaluatorPtr evaluator = getMyClusterEvaluator();
    ++count;
    // Each known server once, the master once more and one refreshed list: beyond that, repeating
    // cannot help (a master that keeps sending to the master, a server that never answers).
    int32_t limit = static_cast<int32_t>(evaluator->getClusterServerUrls().size()) + 2;
    if (count >= limit) {
        VxMetaException failure = signal.cause ? *signal.cause
                                               : VxMetaException(VXMECAT_COMMUNICATION_ERROR, "No applicable servers are online");
        failure.category = VXMECAT_COMMUNICATION_ERROR;
        VXLOG(2, "Giving up after %d attempts: %s", static_cast<int>(count), failure.message.c_str());
        throw failure;
    }
    if (signal.needMaster) {
        evaluator->switchToMaster();
        reseter.setMasterOnly(evaluator);
    }
}

} // namespace VxMeta
