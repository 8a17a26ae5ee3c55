// The public API's managed-key members: creating a key (name, kind, cookie; an empty cookie asks
// for a random one) and loading one, each through a manager of its own.
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"

namespace VxMeta {

std::shared_ptr<Asset> RawVorlane::createAsset(const std::string& name, const std::string& objectKind,
                                               const std::string& objectCookie) {
    SingleAssetManager manager;
    manager.createKind(objectKind, name, objectCookie);
    LockScope lock(masterMutex);
    return manager.asset;
}

std::shared_ptr<Asset> RawVorlane::createAsset(const std::string& name, const std::string& objectKind) {
    return createAsset(name, objectKind, "");
}

std::shared_ptr<Asset> RawVorlane::getAsset(const std::string& keyReference, bool localOnly, bool askOnNoRight) {
    SingleAssetManager manager;
    manager.partialFetch(keyReference, localOnly, askOnNoRight);
    LockScope lock(masterMutex);
    return manager.asset;
}

} // namespace VxMeta
