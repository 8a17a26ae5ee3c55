#include "vxmeta/accounts/access_requests.h"

#include <algorithm>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/access_changes.h"
#include "vxmeta/accounts/asset_encryption_info.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"

namespace VxMeta {

void askForAsset(const std::string& keyReference) {
    (void)extractAssetInfo(keyReference);
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
}

void respondToRequest(const std::shared_ptr<AssetRequest>& request, const std::string& answer) {
    LockScope sync(syncMutex);
    // The gate may ask the service (a managed account's credential check): before the master lock.
    checkAllAccess(true, true);
    LockScope lock(masterMutex);
    request->status = "answered";
    std::shared_ptr<AssetRight> right;
    if (myRights)
        for (const std::shared_ptr<AssetRight>& held : *myRights)
            if (held && held->asset == request->asset && held->participant == request->participant) {
                right = held;
                break;
            }
    if (right) {
        lock.unlock();
        changeAccess(right, answer);
        return;
    }
    const std::shared_ptr<Asset> asset = searchURN(myAssets, request->asset);
    if (!asset) throw VxMetaException(VXMECAT_INTERNAL, "Can't respond to request - requested Asset is unknown");
    if (asset->object_kind == "priv") throw VxMetaException(VXMECAT_INTERNAL, "Illegal request for private asset.");
    auto granted = std::make_shared<AssetRight>();
    granted->assetLink = asset;
    granted->asset = request->asset;
    if (myPID) granted->owner = myPID->urn;
    granted->participant = request->participant;
    granted->access = answer;
    if (myRights) myRights->push_back(granted);
    if (myRequests) myRequests->erase(std::remove(myRequests->begin(), myRequests->end(), request), myRequests->end());
}

void SingleAssetManager::respondToRequest(const std::shared_ptr<AssetRequest>& request, const std::string& answer) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    std::shared_ptr<AssetRight> right;
    {
        LockScope lock(masterMutex);
        if (!myPID || asset->owner != myPID->urn) throw VxMetaException(VXMECAT_INTERNAL, "You are not the owner");
        if (request->asset != asset->urn)
            throw VxMetaException(VXMECAT_INTERNAL, "Can't respond to request - asset doesn't match");
        request->status = "answered";
        for (const std::shared_ptr<AssetRight>& held : *rights)
            if (held && held->asset == request->asset && held->participant == request->participant) {
                right = held;
                break;
            }
    }
    if (right) {
        {
            LockScope lock(masterMutex);
            right->access = answer;
            right->changed();
        }
        examineState();
        return;
    }
    (void)userLookupUrn(request->participant);
    auto granted = std::make_shared<AssetRight>();
    {
        LockScope lock(masterMutex);
        granted->assetLink = request->assetLink;
        granted->asset = request->asset;
        granted->owner = myPID ? myPID->urn : std::string();
        granted->participant = request->participant;
        granted->access = answer;
        rights->push_back(granted);
        if (mirroring && myRights) myRights->push_back(granted);
    }
    examineState();
    LockScope lock(masterMutex);
    requests->erase(std::remove(requests->begin(), requests->end(), request), requests->end());
    if (mirroring && myRequests)
        myRequests->erase(std::remove(myRequests->begin(), myRequests->end(), request), myRequests->end());
}

} // namespace VxMeta
