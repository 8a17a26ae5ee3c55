#include "vxmeta/accounts/managed_account.h"

#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

void managedAccountCheckedOK(const std::string& password) {
    LockScope lock(masterMutex);
    globalState.managedEncPass = password;
    const int64_t now = nowSeconds();
    lastOnlineTime = now;
    if (!myPersists) return;
    if (myPersists->lastManagedLoginTime != now) {
        myPersists->lastManagedLoginTime = now;
        myPersists->localDirty = true;
    }
    if (myPersists->lastOnlineTime != now) {
        myPersists->lastOnlineTime = now;
        myPersists->localDirty = true;
    }
}

} // namespace VxMeta
