#include "vxmeta/comm/cluster_evaluator_reseter.h"

#include "vxmeta/foundation/log.h"

namespace VxMeta {

void ClusterEvaluatorReseter::setMasterOnly(const ClusterEvaluatorPtr& evaluator) {
    VXLOG(5, "Reseter, setting master only");
    raised.push_back(evaluator);
    ++raises;
}

ClusterEvaluatorReseter::~ClusterEvaluatorReseter() {
    if (raises == 0) return;
    VXLOG(5, "Reseter, removing master only");
    for (const ClusterEvaluatorPtr& evaluator : raised) evaluator->resetMasterOnly();
}

} // namespace VxMeta
