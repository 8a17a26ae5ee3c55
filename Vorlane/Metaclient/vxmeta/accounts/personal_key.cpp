#include "vxmeta/accounts/personal_key.h"

#include <memory>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

void checkForSpecialAssets() {
    LockScope lock(masterMutex);
    if (!loggedIn() || !myUser || !myUser->authenticated || !myPID || !myAssets) return;
    for (const std::shared_ptr<Asset>& asset : *myAssets)
        if (asset && asset->owner == myPID->urn && asset->object_kind == "priv") return;
}

} // namespace VxMeta
