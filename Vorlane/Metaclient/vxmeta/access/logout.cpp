// The local logout: the signed-in user's secrets in memory and every server's access token are dropped.
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

void logout() {
    LockScope sync(syncMutex);
    LockScope master(masterMutex);
    getMyClusterServers()->clearAccessTokens();
}

} // namespace VxMeta
