#include "vxmeta/api/extensible_stats.h"

#include "vxmeta/access/access_checks.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"

namespace VxMeta {

void checkSendExtensibleStats() {
    if (!loggedIn()) return;
    LockScope lock(masterMutex);
    if (!myDevice || myDevice->id == 0) return;
}

} // namespace VxMeta
