// The public API's managed-key members: creating a key and loading one, each through a manager
// of its own.
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"

namespace VxMeta {

std::shared_ptr<Asset> RawVorlane::createAsset(const std::string& kind, const std::string& name,
                                               const std::string& cookie) {
    SingleAssetManager manager;
    manager.createKind(kind, name, cookie);
    LockScope lock(masterMutex);
    return manager.asset;
}

std::shared_ptr<Asset> RawVorlane::getAsset(const std::string& keyReference, bool localOnly, bool askOnNoRight) {
    SingleAssetManager manager;
    manager.partialFetch(keyReference, localOnly, askOnNoRight);
    LockScope lock(masterMutex);
    return manager.asset;
}

} // namespace VxMeta
