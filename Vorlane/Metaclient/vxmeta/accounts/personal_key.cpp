#include "vxmeta/accounts/personal_key.h"

#include <memory>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/asset_creation.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/sync_cycle.h"

namespace VxMeta {

void checkForSpecialAssets() {
    std::shared_ptr<Asset> created;
    {
        LockScope lock(masterMutex);
        if (!loggedIn() || !myUser || !myUser->authenticated || !myPID || !myAssets) return;
        for (const std::shared_ptr<Asset>& asset : *myAssets)
            if (asset && asset->owner == myPID->urn && asset->object_kind == "priv") return;
        created = addAsset("Personal Orvanel", "priv", "");
    }
    syncLists();
    {
        LockScope lock(masterMutex);
        if (myKeys)
            for (const std::shared_ptr<AssetKey>& key : *myKeys)
                if (key && key->asset == created->urn && key->id > 0) {
                    globalState.personalKey = key;
                    break;
                }
        if (!globalState.personalKey) return;
    }
    runMasterStateProcessor();
}

} // namespace VxMeta
