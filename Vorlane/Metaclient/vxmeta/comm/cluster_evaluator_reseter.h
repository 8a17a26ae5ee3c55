// ClusterEvaluatorReseter: a guard on the stack of one failover-wrapped operation that takes back,
// when the operation ends in any way, every master-only switch made for it, on the evaluator that
// was switched (also when the library has installed another evaluator since).
#pragma once

#include <cstdint>
#include <vector>

#include "vxmeta/comm/cluster_evaluator.h"

namespace VxMeta {

class ClusterEvaluatorReseter {
public:
    ClusterEvaluatorReseter() = default;
    ~ClusterEvaluatorReseter();
    ClusterEvaluatorReseter(const ClusterEvaluatorReseter&) = delete;
    ClusterEvaluatorReseter& operator=(const ClusterEvaluatorReseter&) = delete;

    // Records one switchToMaster made on `evaluator` for this operation.
    void setMasterOnly(const ClusterEvaluatorPtr& evaluator);

    int32_t raises = 0;

private:
    std::vector<ClusterEvaluatorPtr> raised;
};

} // namespace VxMeta
