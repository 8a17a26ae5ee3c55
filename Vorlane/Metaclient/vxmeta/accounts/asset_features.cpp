#include "vxmeta/accounts/asset_features.h"

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/key_material.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_deletion.h"

namespace VxMeta {

namespace {

// The checks before a change, in this order: the feature name, then the key's owner and its
// management gate.
void checkFeatureChange(const std::shared_ptr<Asset>& key, const std::string& name) {
    if (knownFeatures.count(name) == 0)
        throw VxMetaException(VXMECAT_CLIENT, Fmt("Cannot manage unknown feature: %s", name));
    if (!key) return;
    {
        LockScope lock(masterMutex);
        if (!myPID || key->owner != myPID->urn)
            throw VxMetaException(VXMECAT_CLIENT, "Cannot manage asset - must be owner.");
    }
    wantToManageAsset(key);
}

RecordListPtr<AssetFeature> datasetFeatures() {
    LockScope lock(masterMutex);
    return myFeatures;
}

} // namespace

std::shared_ptr<AssetFeature> _getAssetFeature(const RecordListPtr<AssetFeature>& list, const std::string& urn,
                                               const std::string& name, const std::string& scope) {
    LockScope lock(masterMutex);
    if (!list) return nullptr;
    for (const std::shared_ptr<AssetFeature>& feature : *list)
        if (feature && feature->asset == urn && feature->name == name && eq(feature->scope, scope)) return feature;
    return nullptr;
}

void _setAssetFeature(const RecordListPtr<AssetFeature>& list, const std::shared_ptr<Asset>& key,
                      const std::string& urn, const std::string& name, const std::string& scope,
                      const std::string& compatibility, const std::string& value) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    init();
    checkFeatureChange(key, name);
    if (compatibilities.count(compatibility) == 0)
        throw VxMetaException(VXMECAT_CLIENT, Fmt("Illegal value for compatibility: %s", compatibility));
    const std::shared_ptr<AssetFeature> held = _getAssetFeature(list, urn, name, scope);
    auto sent = std::make_shared<AssetFeature>();
    {
        LockScope lock(masterMutex);
        if (held) *sent = *held;
        sent->asset = urn;
        sent->owner = myPID ? myPID->urn : std::string();
        sent->name = name;
        sent->compatibility = compatibility;
        sent->value = value;
        sent->scope = scope;
        sent->changed();
    }
    (void)sent->sync();
    LockScope lock(masterMutex);
    if (sent->remoteDirty) return;
    if (held) {
        held->copyUpdate(*sent);
        return;
    }
    sent->assetLink = key;
    if (list) list->push_back(sent);
    if (myFeatures && list != myFeatures) myFeatures->push_back(sent);
}

void _delAssetFeature(const RecordListPtr<AssetFeature>& list, const std::shared_ptr<Asset>& key,
                      const std::string& urn, const std::string& name, const std::string& scope) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    checkFeatureChange(key, name);
    const std::shared_ptr<AssetFeature> feature = _getAssetFeature(list, urn, name, scope);
    if (!feature) return;
    (void)feature->del();
    if (list && list != datasetFeatures()) removeItemById(*list, feature->id);
}

std::shared_ptr<AssetFeature> getAssetFeature(const std::string& urn, const std::string& name,
                                              const std::string& scope) {
    return _getAssetFeature(datasetFeatures(), urn, name, scope);
}

void setAssetFeature(const std::string& urn, const std::string& name, const std::string& scope,
                     const std::string& compatibility, const std::string& value) {
    _setAssetFeature(datasetFeatures(), findAssetByURN(urn), urn, name, scope, compatibility, value);
}

void delAssetFeature(const std::string& urn, const std::string& name, const std::string& scope) {
    _delAssetFeature(datasetFeatures(), findAssetByURN(urn), urn, name, scope);
}

std::shared_ptr<AssetFeature> SingleAssetManager::getAssetFeature(const std::string& name, const std::string& scope) {
    return _getAssetFeature(features, getURN(), name, scope);
}

void SingleAssetManager::setAssetFeature(const std::string& name, const std::string& scope,
                                         const std::string& compatibility, const std::string& value) {
    std::shared_ptr<Asset> key;
    {
        LockScope lock(masterMutex);
        key = asset;
    }
    _setAssetFeature(features, key, getURN(), name, scope, compatibility, value);
}

void SingleAssetManager::delAssetFeature(const std::string& name, const std::string& scope) {
    std::shared_ptr<Asset> key;
    {
        LockScope lock(masterMutex);
        key = asset;
    }
    _delAssetFeature(features, key, getURN(), name, scope);
}

} // namespace VxMeta
