#include "vxmeta/accounts/account_state.h"

#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

bool isSatellite() {
    LockScope lock(masterMutex);
    return globalState.mdsPubkey != cmdsPubkey;
}

bool isRegistered() {
    LockScope lock(masterMutex);
    return myPID && myPID->id > 0;
}

} // namespace VxMeta
