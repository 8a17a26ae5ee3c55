// The local logout: the signed-in user's private keys in memory, every server's access token and the
// pending application statuses are dropped. The credentials, the dataset and the persisted state stay.
#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/access/reporting_seam.h"
#include "vxmeta/access/state_seam.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

void logout() {
    LockScope sync(syncMutex);
    LockScope master(masterMutex);
    std::shared_ptr<void> loginChange = beginLoginChange();
    forgetLoggedInKeys();
    getMyClusterServers()->clearAccessTokens();
    clearApplicationStatuses();
}

} // namespace VxMeta
