#include "vxmeta/accounts/asset_participants.h"

#include <string>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/list_maps.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

// Bit of the policy's key permission word that lets users delete their keys.
constexpr int32_t kMayDeleteKeys = 0x10;

// The caller holds the master lock.
std::string ownUrnLocked() { return myPID ? myPID->urn : std::string(); }

// The identities of the rights that allow, in list order; an address without an account as a
// made-up identity under the service's key. The caller holds the master lock; skip is left out.
RecordListPtr<XPID> allowedIdentities(const RecordList<AssetRight>& rights, const URNMap<XPID>& directory,
                                      const std::string& skip) {
    auto found = std::make_shared<RecordList<XPID>>();
    for (const std::shared_ptr<AssetRight>& right : rights) {
        if (!right || right->access != "allow") continue;
        if (!skip.empty() && right->participant == skip) continue;
        if (std::shared_ptr<XPID> identity = directory.find(right->participant)) {
            found->push_back(std::move(identity));
        } else if (urnIsForwardedEmail(right->participant)) {
            auto invited = std::make_shared<XPID>();
            invited->pubkey = globalState.mdsPubkey;
            invited->urn = right->participant;
            invited->email = urnForwardedEmail(right->participant);
            invited->name = "(unknown)";
            found->push_back(std::move(invited));
        }
    }
    return found;
}

} // namespace

bool canEditParticipants(const std::shared_ptr<Asset>& asset) {
    LockScope lock(masterMutex);
    return asset && !asset->urn.empty() && asset->owner == ownUrnLocked() && asset->object_kind != "priv";
}

RecordListPtr<XPID> SingleAssetManager::getParticipants() {
    const URNMap<XPID> directory(getMyXPIDs(), false);
    LockScope lock(masterMutex);
    return copyViewList(allowedIdentities(*rights, directory, ""));
}

RecordListPtr<XPID> SingleAssetManager::getAllParticipantsExceptSelf() {
    const URNMap<XPID> directory(getMyXPIDs(), false);
    RecordListPtr<XPID> found;
    std::string owner;
    std::shared_ptr<XPID> ownerIdentity;
    {
        LockScope lock(masterMutex);
        const std::string me = ownUrnLocked();
        found = allowedIdentities(*rights, directory, me);
        owner = asset->owner;
        if (owner.empty() || owner == me) return copyViewList(found);
        ownerIdentity = directory.find(owner);
    }
    if (!ownerIdentity) ownerIdentity = userLookupUrn(owner);
    if (ownerIdentity) found->push_back(ownerIdentity);
    return copyViewList(found);
}

bool SingleAssetManager::canEditParticipants() {
    std::shared_ptr<Asset> held;
    {
        LockScope lock(masterMutex);
        held = asset;
    }
    return VxMeta::canEditParticipants(held);
}

void SingleAssetManager::changeName(const std::string& name) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    const std::string trimmed = trim(name);
    if (trimmed.empty()) throw VxMetaException(VXMECAT_CLIENT, "Asset name cannot be blank");
    const std::shared_ptr<Asset> copy = MLockClone(asset);
    {
        LockScope lock(masterMutex);
        if (copy->owner != ownUrnLocked()) throw VxMetaException(VXMECAT_INTERNAL, "You are not the owner");
        if (copy->name == trimmed) return;
        copy->name = trimmed;
        copy->changed();
    }
    copy->sync();
    asset->copyUpdate(*copy);
    examineState();
}

void SingleAssetManager::deleteAsset() {
    LockScope sync(syncMutex);
    LockScope lock(masterMutex);
    if (asset->id == 0) throw VxMetaException(VXMECAT_CLIENT, "Cannot delete - no asset loaded");
    if ((globalState.satellitePolicy.skey_flag & kMayDeleteKeys) == 0)
        throw VxMetaException(VXMECAT_POLICY_VIOLATION, "Policy forbids deleting Orvanels");
    if (!asset->canDelete) throw VxMetaException(VXMECAT_CLIENT, Fmt("Orvanel '%s' cannot be deleted", asset->name));
    const std::shared_ptr<Asset> doomed = asset;
    lock.unlock();
    doomed->del();
    lock.lock();
    clear();
}

} // namespace VxMeta
