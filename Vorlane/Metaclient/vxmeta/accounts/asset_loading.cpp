// Loading one managed key into a SingleAssetManager: from the dataset when it holds the key, else
// from the service (the asset, then its lists by "asseturn"), for its users or for its owner.
#include <memory>
#include <string>

#include "vxmeta/accounts/access_requests.h"
#include "vxmeta/accounts/asset_encryption_info.h"
#include "vxmeta/accounts/key_material.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"

namespace VxMeta {

namespace {

std::string assetPath(const std::string& urn) { return qualifySuffix("asset", "urn", urn); }

std::string ownUrn() {
    LockScope lock(masterMutex);
    return myPID ? myPID->urn : std::string();
}

} // namespace

void SingleAssetManager::partialFetch(const std::string& keyReference, bool localOnly, bool askOnNoRight) {
    const std::string urn = extractAssetInfo(keyReference).urn;
    {
        LockScope lock(masterMutex);
        if (asset->urn == urn) return;
    }
    clear();
    if (const std::shared_ptr<Asset> found = findAssetByURN(urn)) {
        LockScope lock(masterMutex);
        asset = found;
        assets = std::make_shared<RecordList<Asset>>(1, found);
        copyForAsset(keys, myKeys, urn);
        copyForAsset(features, myFeatures, urn);
        copyForAsset(rights, myRights, urn);
        return;
    }
    if (localOnly) throw VxMetaException(VXMECAT_NOTFOUND, "Local copy of requested asset not found");
    try {
        {
            LockScope lock(masterMutex);
            asset->urn = urn;
        }
        // A reply that cannot be read leaves the asset with its URN alone.
        (void)asset->fetch(assetPath(urn));
        refreshList(keys, "asseturn", urn);
        refreshList(features, "asseturn", urn);
        refreshList(rights, "asseturn", urn);
        examineState();
    } catch (const VxMetaException& failure) {
        if (failure.reason == VXMEREASON_NO_RIGHT && askOnNoRight) askForAsset(keyReference);
        throw;
    }
}

void SingleAssetManager::fullFetch(const std::string& keyReference) {
    const std::string urn = extractAssetInfo(keyReference).urn;
    const std::string me = ownUrn();
    std::shared_ptr<Asset> loaded;
    {
        LockScope lock(masterMutex);
        if (asset->urn == urn) {
            if (fullyLoaded) return;
            if (asset->owner != me) throw VxMetaException(VXMECAT_INTERNAL, "You are not the owner");
            loaded = asset;
        }
    }
    if (loaded) {
        wantToManageAsset(loaded);
        copyForAsset(requests, myRequests, urn);
        fullyLoaded = true;
        return;
    }
    clear();
    if (const std::shared_ptr<Asset> found = findAssetByURN(urn)) {
        LockScope lock(masterMutex);
        if (found->owner != me) throw VxMetaException(VXMECAT_INTERNAL, "You are not the owner");
        asset = found;
        assets = std::make_shared<RecordList<Asset>>(1, found);
        copyForAsset(keys, myKeys, urn);
        copyForAsset(features, myFeatures, urn);
        copyForAsset(rights, myRights, urn);
        wantToManageAsset(asset);
        copyForAsset(requests, myRequests, urn);
        fullyLoaded = true;
        return;
    }
    (void)asset->fetch(assetPath(urn));
    {
        LockScope lock(masterMutex);
        if (asset->owner != me) throw VxMetaException(VXMECAT_INTERNAL, "You are not the owner");
    }
    refreshList(keys, "asseturn", urn);
    refreshList(features, "asseturn", urn);
    refreshList(rights, "asseturn", urn);
    refreshList(requests, "asseturn", urn);
    fullyLoaded = true;
    examineState();
    wantToManageAsset(asset);
}

void SingleAssetManager::askForAsset(const std::string& keyReference) { VxMeta::askForAsset(keyReference); }

} // namespace VxMeta
