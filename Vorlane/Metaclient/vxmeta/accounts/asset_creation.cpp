#include "vxmeta/accounts/asset_creation.h"

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_query.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

std::string generateAssetUrn(const std::string& kind, const std::string& cookie, const std::string& owner) {
    return urnsafe(kind + "-" + cookie + "-" + owner);
}

void verifyCanCreateAsset(const std::string& kind) {
    LockScope lock(masterMutex);
    if (kind == "priv") return;
    if ((globalState.satellitePolicy.skey_flag & 1) != 0) return;
    throw VxMetaException(VXMECAT_POLICY_VIOLATION, "Policy prohibits making new Orvanels.");
}

std::string SingleAssetManager::generateCookie() {
    MemPS bytes;
    bytes.random(24);
    return urnsafe(bytes.encode());
}

void SingleAssetManager::createKind(const std::string& kind, const std::string& name, const std::string& cookie) {
    LockScope sync(syncMutex);
    verifyCanCreateAsset(kind);
    checkAllAccess(true, true);
    clear();
    std::shared_ptr<Asset> created;
    {
        LockScope lock(masterMutex);
        created = asset;
        created->id = 0;
        created->name = name;
        created->object_kind = kind;
        created->object_cookie = cookie.empty() ? generateCookie() : cookie;
        created->owner = myPID ? myPID->urn : std::string();
        created->urn = generateAssetUrn(kind, created->object_cookie, created->owner);
        // The first revision of any key but the personal one is also wrapped under the personal
        // key: without it the key would reach the service without a revision.
        if (!isPriv(created->urn) && !currentPersonalAssetKey())
            throw VxMetaException(VXMECAT_INTERNAL, "Unable to encrypt asset key - priv key is unknown - sync required");
    }
    (void)created->sync();
    if (mirroring) {
        LockScope lock(masterMutex);
        if (myAssets) myAssets->push_back(created);
    }
    issueAssetKey(created, keys);
    examineState();
}

void SingleAssetManager::createKind(const std::string& kind, const std::string& name) {
    createKind(kind, name, std::string());
}

void SingleAssetManager::createAsset(const std::string& name) { createKind("@adhoc", name); }

void SingleAssetManager::createSecureChat(const std::string& name) { createKind("@securechat", name); }

std::shared_ptr<Asset> addAsset(const std::string& name, const std::string& kind, const std::string& cookie) {
    verifyCanCreateAsset(kind);
    auto asset = std::make_shared<Asset>();
    LockScope lock(masterMutex);
    asset->name = name;
    asset->object_kind = kind;
    asset->object_cookie = cookie;
    asset->owner = myPID ? myPID->urn : std::string();
    asset->urn = generateAssetUrn(kind, cookie, asset->owner);
    asset->homeServer = myUser ? myUser->homeServer : std::string();
    if (myAssets) myAssets->push_back(asset);
    issueAssetKey(asset, myKeys);
    return asset;
}

std::shared_ptr<Asset> findOrAddAsset(const std::string& name, const std::string& kind, const std::string& cookie) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    {
        LockScope lock(masterMutex);
        if (myAssets)
            for (const std::shared_ptr<Asset>& asset : *myAssets)
                if (asset && asset->object_kind == kind && asset->object_cookie == cookie) return asset;
    }
    return addAsset(name, kind, cookie);
}

RecordListPtr<Asset> getMyAdhocAssets() { return Asset::query("kindprefix", "@adhoc"); }

RecordListPtr<Asset> getMySecureChats(const std::string& since) {
    std::string path = "asset/" + querySuffix("kindprefix", "@securechat");
    if (!since.empty()) path += querySuffix2("since", since);
    return queryClass<Asset>(path);
}

} // namespace VxMeta
