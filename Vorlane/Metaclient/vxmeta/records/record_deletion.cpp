#include "vxmeta/records/record_deletion.h"

#include <string>

#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/mfa_pair.h"

namespace VxMeta {

namespace {

void dropAsset(int64_t assetId) {
    LockScope lock(masterMutex);
    if (myAssets) {
        for (const std::shared_ptr<Asset>& asset : *myAssets) asset->marked = asset->id != assetId;
        removeUnmarked(*myAssets);
    }
    if (myRequests) removeAssetRefs(*myRequests, assetId);
    if (myRights) removeAssetRefs(*myRights, assetId);
    if (myKeys) removeAssetRefs(*myKeys, assetId);
    if (myFeatures) removeAssetRefs(*myFeatures, assetId);
}

template <class T>
void dropItem(const RecordListPtr<T>& list, const VxMetadata& record) {
    LockScope lock(masterMutex);
    const T* item = dynamic_cast<const T*>(&record);
    if (list && item) removeItemById(*list, item->id);
}

} // namespace

void dropDeletedRecord(const VxMetadata& record) {
    const std::string stem = record.stem() ? record.stem() : "";
    if (stem == "asset") {
        if (const auto* asset = dynamic_cast<const Asset*>(&record)) dropAsset(asset->id);
    } else if (stem == "assetfeature") {
        dropItem(myFeatures, record);
    } else if (stem == "mfapair") {
        dropItem(myMFAPairs, record);
    } else if (stem == "appdata") {
        dropItem(myAppDatas, record);
    }
}

} // namespace VxMeta
