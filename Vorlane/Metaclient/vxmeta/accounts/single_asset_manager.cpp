#include "vxmeta/accounts/single_asset_manager.h"

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/sync/state_processor.h"

namespace VxMeta {

SingleAssetManager::SingleAssetManager()
    : asset(std::make_shared<Asset>()),
      assets(std::make_shared<RecordList<Asset>>(1, asset)),
      requests(std::make_shared<RecordList<AssetRequest>>()),
      rights(std::make_shared<RecordList<AssetRight>>()),
      keys(std::make_shared<RecordList<AssetKey>>()),
      features(std::make_shared<RecordList<AssetFeature>>()) {}

void SingleAssetManager::clear() {
    LockScope lock(masterMutex);
    if (asset->urn.empty()) return;
    fullyLoaded = false;
    asset = std::make_shared<Asset>();
    assets = std::make_shared<RecordList<Asset>>(1, asset);
    keys->clear();
    features->clear();
    rights->clear();
    requests->clear();
}

std::string SingleAssetManager::getKind() const {
    LockScope lock(masterMutex);
    return asset->object_kind;
}

std::string SingleAssetManager::getURN() const {
    LockScope lock(masterMutex);
    return asset->urn;
}

void SingleAssetManager::examineState() {
    sync();
    {
        LockScope lock(masterMutex);
        StateProcessor(assets, rights, keys, features).run(false);
    }
    sync();
}

} // namespace VxMeta
