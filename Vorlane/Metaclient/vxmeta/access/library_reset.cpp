// Resetting the library's in-memory state: a fresh cluster evaluator and server registry on the
// default server, or the current ones kept.
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

void mdClearAll(bool keepServer) {
    LockScope scope(masterMutex);
    ClusterEvaluatorPtr keptEvaluator = myClusterEvaluator;
    ClusterServersPtr keptServers = myClusterServers;
    // The registry first: the new evaluator registers its server in it.
    myClusterServers = std::make_shared<ClusterServers>();
    myClusterEvaluator = std::make_shared<ClusterEvaluator>(VCSR::CMDS_URL);
    if (keepServer) {
        myClusterServers = keptServers;
        myClusterEvaluator = keptEvaluator;
    }
}

} // namespace VxMeta
