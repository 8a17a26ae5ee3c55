#include "vxmeta/accounts/access_changes.h"

#include <set>
#include <vector>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/accounts/team_membership.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

namespace {

constexpr char kAllow[] = "allow";
constexpr char kDeny[] = "deny";

// Revoking the owner would take the owner's own key revisions away.
void refuseOwnerDenial(const std::string& owner, const std::string& participant, const std::string& access) {
    if (access == kDeny && !owner.empty() && participant == owner)
        throw VxMetaException(VXMECAT_CLIENT, "The key's owner cannot be denied access");
}

// The caller holds the master lock.
std::string ownUrnLocked() { return myPID ? myPID->urn : std::string(); }

// The caller holds the master lock.
void requireOwner(const Asset& asset) {
    if (asset.owner != ownUrnLocked()) throw VxMetaException(VXMECAT_INTERNAL, "You are not the owner");
}

// A new right of the user's key, filled in the order the service reads it; locally and remotely dirty.
std::shared_ptr<AssetRight> newRight(const std::shared_ptr<Asset>& asset, const std::string& participant,
                                     const std::string& access) {
    auto right = std::make_shared<AssetRight>();
    LockScope lock(masterMutex);
    right->assetLink = asset;
    right->asset = asset->urn;
    right->owner = ownUrnLocked();
    right->participant = participant;
    right->access = access;
    return right;
}

// Lists the addresses an aggregate failure names: one distinct message, or the general text.
VxMetaException aggregateFailure(const std::set<std::string>& messages, const std::set<std::string>& failed) {
    std::string text = messages.size() == 1 ? *messages.begin() : std::string("Your account cannot share keys with");
    text += ":\n";
    for (const std::string& address : failed) text += address + "\n";
    return VxMetaException(VXMECAT_AGGREGATE_ERROR_LIST, text);
}

} // namespace

void changeAccess(const std::shared_ptr<AssetRight>& right, const std::string& access) {
    {
        LockScope lock(masterMutex);
        if (right->access == access) return;
    }
    LockScope sync(syncMutex);
    // The gate may ask the service (a managed account's credential check): before the master lock.
    checkAllAccess(true, true);
    LockScope lock(masterMutex);
    if (right->access == access) return;
    const std::shared_ptr<Asset> asset = searchURN(myAssets, right->asset);
    if (asset) refuseOwnerDenial(asset->owner, right->participant, access);
    if (right->access == kAllow && access == kDeny && asset) issueAssetKey(asset, myKeys);
    right->access = access;
    right->changed();
}

void SingleAssetManager::setAccessToList(const std::vector<std::string>& emails, const std::string& access) {
    const std::string urn = getURN();
    std::set<std::string> messages;
    std::set<std::string> failed;
    for (const std::string& email : emails) {
        VXLOG(5, "Setting access for Orvanel=%s email=%s to %s", urn.c_str(), email.c_str(), access.c_str());
        try {
            setAccessByEmail(email, access);
            VXLOG(3, "Set access for Orvanel=%s email=%s to %s", urn.c_str(), email.c_str(), access.c_str());
        } catch (const VxMetaException& failure) {
            if (failure.reason == VXMEREASON_GUEST_ACCOUNT_INTERNAL_ONLY) {
                messages.insert(failure.what());
            } else if (failure.reason == VXMEREASON_GUEST_ACCOUNT || failure.reason == VXMEREASON_ISOLATED) {
                messages.insert(splitParts(failure.what(), ":").front());
            } else {
                throw;
            }
            failed.insert(email);
            VXLOG(5, "Adding exception to aggregate, when setting access for Orvanel=%s email=%s to %s - %s",
                  urn.c_str(), email.c_str(), access.c_str(), failure.what());
        }
    }
    if (!messages.empty()) throw aggregateFailure(messages, failed);
}

void SingleAssetManager::setAccessByEmail(const std::string& email, const std::string& access) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    const std::string address = trim(email);
    if (address.empty()) throw VxMetaException(VXMECAT_CLIENT, "Email cannot be blank");
    const std::string forwarded = "email!" + canocase(address);
    std::shared_ptr<AssetRight> held;
    std::string owner;
    {
        LockScope lock(masterMutex);
        requireOwner(*asset);
        owner = asset->owner;
        for (const std::shared_ptr<AssetRight>& right : *rights)
            if (right && eq(right->participant, forwarded)) {
                held = right;
                break;
            }
    }
    std::shared_ptr<XPID> identity;
    try {
        identity = userLookupUrn(forwarded);
    } catch (const VxMetaException& failure) {
        if (failure.category != VXMECAT_HTTP || failure.httpStatus != 404) throw;
    }
    if (identity && identity->urn != forwarded) {
        if (!held) {
            setAccess(identity, access);
            return;
        }
        refuseOwnerDenial(owner, identity->urn, access);
        {
            LockScope lock(masterMutex);
            held->participant = identity->urn;
        }
        changeAccess(held, access);
        return;
    }
    if (held) {
        changeAccess(held, access);
        return;
    }
    const std::shared_ptr<AssetRight> right = newRight(asset, forwarded, access);
    right->sync();
    {
        LockScope lock(masterMutex);
        rights->push_back(right);
        if (mirroring && myRights) myRights->push_back(right);
    }
    examineState();
}

void SingleAssetManager::setAccess(const std::shared_ptr<XPID>& identity, const std::string& access) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    std::shared_ptr<AssetRight> held;
    {
        LockScope lock(masterMutex);
        requireOwner(*asset);
        refuseOwnerDenial(asset->owner, identity->urn, access);
        for (const std::shared_ptr<AssetRight>& right : *rights)
            if (right && right->participant == identity->urn) {
                held = right;
                break;
            }
    }
    if (held) {
        changeAccess(held, access);
        return;
    }
    const std::shared_ptr<AssetRight> right = newRight(asset, identity->urn, access);
    right->sync();
    {
        LockScope lock(masterMutex);
        rights->push_back(right);
        if (mirroring && myRights) myRights->push_back(right);
    }
    examineState();
}

void SingleAssetManager::changeAccess(const std::shared_ptr<AssetRight>& right, const std::string& access) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    std::string participant;
    {
        LockScope lock(masterMutex);
        requireOwner(*asset);
        if (right->access == access) return;
        refuseOwnerDenial(asset->owner, right->participant, access);
        participant = right->participant;
    }
    if (access == kAllow) {
        (void)userLookupUrn(participant);
        LockScope lock(masterMutex);
        right->access = access;
        right->changed();
    } else if (access == kDeny) {
        LockScope lock(masterMutex);
        right->access = access;
        right->changed();
        issueAssetKey(asset, keys);
        const MatchAssetAndParticipantFunctor<AssetKey> revoked(right->asset, right->participant);
        removeMatches(*keys, revoked);
        if (mirroring && myKeys) removeMatches(*myKeys, revoked);
    }
    examineState();
}

void SingleAssetManager::setAccessMyTeamGroup(const std::string& access) {
    if (const std::shared_ptr<XPID> group = getMyTeamGroupXPID()) setAccess(group, access);
}

} // namespace VxMeta
