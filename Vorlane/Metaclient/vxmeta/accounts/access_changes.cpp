#include "vxmeta/accounts/access_changes.h"

#include "vxmeta/access/access_checks.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"

namespace VxMeta {

void changeAccess(const std::shared_ptr<AssetRight>& right, const std::string& access) {
    {
        LockScope lock(masterMutex);
        if (right->access == access) return;
    }
    LockScope sync(syncMutex);
    // The gate may ask the service (a managed account's credential check): before the master lock.
    checkAllAccess(true, true);
    LockScope lock(masterMutex);
    if (right->access == access) return;
    if (right->access == "allow" && access == "deny")
        if (const std::shared_ptr<Asset> asset = searchURN(myAssets, right->asset)) issueAssetKey(asset, myKeys);
    right->access = access;
    right->changed();
}

} // namespace VxMeta
