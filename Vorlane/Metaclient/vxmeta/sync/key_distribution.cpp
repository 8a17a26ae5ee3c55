// The key step of the reconciliation pass: the indexes of the user's personal and group master keys,
// the "allowed" flag of every stored asset key, invitations rewritten to the identities that took
// them, session keys wrapped for the participants that lack them, the personal session keys for the
// team's contingency key and the contingency master key for the team's contingency group.
#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/state_processor.h"

namespace VxMeta {

namespace {

// The session key of a key of the user's, wrapped for a public key.
std::string rewrap(const AssetKey& key, const std::string& publicKey) {
    std::string sessionKey = decryptSessionKey(key.keymaterial);
    std::string wrapped = encryptSessionKey(sessionKey, publicKey);
    wipeText(sessionKey);
    return wrapped;
}

bool isTeamContingencyKey(const TeamData& datum) { return datum.kind == "Contingency" && datum.name == "Public Key"; }

} // namespace

void StateProcessor::examineKeys(bool fullPass) {
    if (!keys) return;
    const bool signedIn = loggedIn();
    if (fullPass) {
        globalState.personalKeys.clear();
        globalState.masterKeys.clear();
        globalState.personalKey = nullptr;
        for (const std::shared_ptr<AssetKey>& key : *keys) {
            if (!key) continue;
            if (key->owner == ownerUrn) {
                if (key->participant != ownerUrn || !isPriv(key->asset)) continue;
                globalState.personalKeys[key->keysequence] = key;
                if (!globalState.personalKey || globalState.personalKey->keysequence < key->keysequence)
                    globalState.personalKey = key;
            } else if (key->participantid == ownerId && startswith(key->asset, "groupMaster")) {
                globalState.masterKeys[key->ownerid] = key;
            }
        }
        const std::shared_ptr<AssetKey> personal = globalState.personalKey;
        if (signedIn && personal && personal->ca != globalState.caUrn && myPID) {
            // The user's team changed: a new personal key sequence for the new team. The next full
            // pass indexes it.
            auto next = std::make_shared<AssetKey>();
            next->assetLink = personal->assetLink;
            next->asset = personal->asset;
            if (myUser) next->homeServer = myUser->homeServer;
            next->owner = ownerUrn;
            next->participant = ownerUrn;
            next->keysequence = personal->keysequence + 1;
            next->ca = globalState.caUrn;
            std::string sessionKey = generateSessionKey();
            next->keymaterial = encryptSessionKey(sessionKey, myPID->pubkey);
            wipeText(sessionKey);
            next->allowed = false;
            keys->push_back(next);
            changed = true;
        }
    }

    for (size_t i = 0; i < keys->size(); ++i) {
        const std::shared_ptr<AssetKey> key = (*keys)[i];
        if (key && key->id != 0) decideAllowed(key, signedIn);
    }

    if (!signedIn || !globalState.personalKey) return;
    rewriteInvitations();
    indexOwnKeys();
    if (rights) {
        for (size_t i = 0; i < rights->size(); ++i) {
            const std::shared_ptr<AssetRight> right = (*rights)[i];
            if (!right || right->access != "allow") continue;
            if (const std::shared_ptr<Asset> asset = ownEncryptable.find(right->asset)) giveMissingKeys(asset, right);
        }
    }
    if (fullPass) {
        if (ownEncryptable.find(globalState.personalKey->asset) && giveContingencyKeys())
            changed = true;
        else if (giveContingencyMasterKeys())
            changed = true;
    }
}

void StateProcessor::decideAllowed(const std::shared_ptr<AssetKey>& key, bool signedIn) {
    const std::shared_ptr<Asset> asset = assetsByUrn.find(key->asset);
    key->assetLink = asset;
    bool allowed = false;
    const std::string& group = globalState.teamGroupUrn;
    if (!group.empty() && (key->owner == group || key->participant == group)) {
        allowed = true;
    } else if (asset && asset->upgradeLevel <= 3 && asset->delete_by.empty()) {
        if (key->participant == ownerUrn) {
            allowed = true;
            if (asset->object_kind != "priv" && asset->owner == ownerUrn && key->owner == ownerUrn &&
                key->ckeymaterial.empty() && signedIn && globalState.personalKey && myPID) {
                std::string sessionKey = decryptSessionKey(key->keymaterial);
                key->ckeymaterial = encryptAssetKey(asset->urn, sessionKey, myPID->pubkey);
                wipeText(sessionKey);
                key->changed();
                changed = true;
            }
        } else if (!forwardingUrn.empty() && eq(key->participant, forwardingUrn)) {
            // Sent to the user's address before it had an account: the service forwards the key
            // material wrapped for the user.
            allowed = true;
            if (!key->forwarded_keymaterial.empty() && key->keymaterial != key->forwarded_keymaterial) {
                key->keymaterial = key->forwarded_keymaterial;
                key->localDirty = true;
            }
        } else if (globalState.masterKeys.count(key->participantid) != 0) {
            allowed = true;
        }
        // On someone else's key, the owner's "deny" for this participant withdraws it.
        if (allowed && asset->object_kind != "priv" && asset->ownerid != ownerId) {
            const std::shared_ptr<AssetRight> right = rightsByUrn.find(AssetRight::urnOf(key->asset, key->participant));
            if (right && right->access == "deny") allowed = false;
        }
    }
    if (allowed != key->allowed) {
        key->allowed = allowed;
        key->localDirty = true;
    }
}

void StateProcessor::rewriteInvitations() {
    if (!rights || !keys) return;
    // The invitations whose address the service has tied to an identity the dataset holds, by
    // lower-case forwarded URN (the first right of an address names its identity).
    std::unordered_map<std::string, std::shared_ptr<XPID>> taken;
    std::unique_ptr<IDMap<XPID>> identitiesById;
    for (const std::shared_ptr<AssetRight>& right : *rights) {
        if (!right || right->participantid <= 0 || !urnIsForwardedEmail(right->participant) ||
            !ownEncryptable.find(right->asset))
            continue;
        const std::string address = canocase(right->participant);
        if (taken.count(address) != 0) continue;
        if (!identitiesById) identitiesById = std::make_unique<IDMap<XPID>>(myXPIDs);
        if (const std::shared_ptr<XPID> identity = identitiesById->find(right->participantid))
            taken[address] = identity;
    }
    if (taken.empty()) return;
    for (const std::shared_ptr<AssetRight>& right : *rights) {
        if (!right || !urnIsForwardedEmail(right->participant)) continue;
        const auto found = taken.find(canocase(right->participant));
        if (found == taken.end()) continue;
        rightsByUrn.remove(right);
        right->participant = found->second->urn;
        right->changed();
        rightsByUrn.add(right);
        changed = true;
    }
    for (const std::shared_ptr<AssetKey>& key : *keys) {
        if (!key || !urnIsForwardedEmail(key->participant)) continue;
        const auto found = taken.find(canocase(key->participant));
        if (found == taken.end()) continue;
        // Wrapped again from the user's own key of the same revision; a key without one stays.
        const std::shared_ptr<AssetKey> own = keysByUrn.find(urnForKey(key->asset, ownerUrn, key->keysequence));
        if (!own) continue;
        keysByUrn.remove(key);
        key->keymaterial = rewrap(*own, found->second->pubkey);
        key->participant = found->second->urn;
        key->changed();
        keysByUrn.add(key);
        changed = true;
    }
}

void StateProcessor::indexOwnKeys() {
    // Counted per asset first, then placed: one flat list, no list per asset.
    ownKeys.clear();
    ownKeyRanges.clear();
    std::vector<std::pair<const Asset*, std::shared_ptr<AssetKey>>> found;
    found.reserve(ownEncryptable.size());
    ownKeyRanges.reserve(ownEncryptable.size());
    for (const std::shared_ptr<AssetKey>& key : *keys) {
        if (!key || key->participant != ownerUrn || !(key->allowed || key->id == 0)) continue;
        if (const std::shared_ptr<Asset> asset = ownEncryptable.find(key->asset)) {
            found.emplace_back(asset.get(), key);
            ++ownKeyRanges[asset.get()].second;
        }
    }
    size_t start = 0;
    for (auto& [asset, range] : ownKeyRanges) {
        range.first = start;
        start += range.second;
        range.second = range.first;
    }
    ownKeys.resize(found.size());
    for (auto& [asset, key] : found) ownKeys[ownKeyRanges[asset].second++] = std::move(key);
}

void StateProcessor::giveMissingKeys(const std::shared_ptr<Asset>& asset, const std::shared_ptr<AssetRight>& right) {
    const std::string& participant = right->participant;
    if (participant == ownerUrn) return;
    std::shared_ptr<XPID> identity;
    if (!urnIsForwardedEmail(participant)) {
        identity = identitiesByUrn.find(participant);
        if (!identity) return;
    }
    const auto own = ownKeyRanges.find(asset.get());
    if (own == ownKeyRanges.end()) return;
    for (size_t i = own->second.first; i < own->second.second; ++i) {
        const std::shared_ptr<AssetKey>& source = ownKeys[i];
        if (keysByUrn.find(urnForKey(asset->urn, participant, source->keysequence))) continue;
        if (!identity) {
            // An address: its identity (or the key the service supplies for it) is needed only now.
            identity = forwardedIdentity(participant);
            if (!identity || identity->id != right->participantid) return;
        }
        auto made = std::make_shared<AssetKey>();
        made->assetLink = asset;
        made->asset = asset->urn;
        made->participant = participant;
        made->keysequence = source->keysequence;
        made->owner = ownerUrn;
        if (myUser) made->homeServer = myUser->homeServer;
        made->keymaterial = rewrap(*source, identity->pubkey);
        made->ca = globalState.caUrn;
        made->allowed = false;
        keys->push_back(made);
        keysByUrn.add(made);
        if (myKeys && keys.get() != myKeys.get()) myKeys->push_back(made);
        changed = true;
    }
}

std::shared_ptr<XPID> StateProcessor::forwardedIdentity(const std::string& participant) {
    const auto earlier = lookedUp.find(participant);
    if (earlier != lookedUp.end()) return earlier->second;
    // Under the master lock the look-up answers from the dataset and its cache only.
    if (std::shared_ptr<XPID> known = userLookupUrn(participant)) return known;
    if (lookUpsNoted.insert(participant).second) lookUps.push_back(participant);
    return nullptr;
}

bool StateProcessor::lookUpNotedParticipants() {
    bool asked = false;
    for (const std::string& participant : lookUps) {
        if (lookedUp.count(participant) != 0) continue;
        std::shared_ptr<XPID> found;
        try {
            found = userLookupUrn(participant);
        } catch (const VxMetaException& failure) {
            // An MFA demand that was not met counts as no identity; other failures end the pass.
            if (failure.category != VXMECAT_MFA_REQUIRED && failure.category != VXMECAT_MFA_DENIED) throw;
        }
        lookedUp[participant] = found;
        asked = true;
    }
    lookUps.clear();
    lookUpsNoted.clear();
    return asked;
}

bool StateProcessor::giveContingencyKeys() {
    LockScope lock(masterMutex);
    const std::string caUrn = globalState.caUrn;
    if (!loggedIn() || !globalState.personalKey || caUrn.empty() || !myTeamDatas || !myContingencyKeys) return false;
    URNMap<ContingencyKey> held(myContingencyKeys, true);
    std::vector<std::shared_ptr<AssetKey>> personal;
    for (const std::shared_ptr<AssetKey>& key : *keys)
        if (key && isPriv(key->asset) && key->participant == ownerUrn && (key->allowed || key->id == 0) &&
            eq(key->ca, caUrn))
            personal.push_back(key);
    bool made = false;
    const RecordList<TeamData> data = *myTeamDatas;
    for (const std::shared_ptr<TeamData>& datum : data) {
        if (!datum || !isTeamContingencyKey(*datum) || datum->id <= 0 || datum->team_id != globalState.teamId) continue;
        for (const std::shared_ptr<AssetKey>& key : personal) {
            auto contingency = std::make_shared<ContingencyKey>();
            contingency->owner = ownerUrn;
            contingency->keysequence = key->keysequence;
            contingency->ca = caUrn;
            if (held.find(contingency->geturn())) continue;
            contingency->keymaterial = rewrap(*key, datum->value);
            myContingencyKeys->push_back(contingency);
            held.add(contingency);
            made = true;
        }
    }
    return made;
}

bool StateProcessor::giveContingencyMasterKeys() {
    LockScope lock(masterMutex);
    if (!loggedIn() || !globalState.personalKey || !myContingencyGroups || myContingencyGroups->empty() ||
        !myContingencyMasterKeys || !myTeamDatas)
        return false;
    std::vector<std::shared_ptr<ContingencyMasterKey>> mine;
    for (const std::shared_ptr<ContingencyMasterKey>& record : *myContingencyMasterKeys)
        if (record && record->recipient == ownerUrn) mine.push_back(record);
    if (mine.empty()) return false;
    URNMap<ContingencyMasterKey> held(myContingencyMasterKeys, true);
    bool made = false;
    const RecordList<TeamData> data = *myTeamDatas;
    const RecordList<ContingencyGroup> groups = *myContingencyGroups;
    for (const std::shared_ptr<TeamData>& datum : data) {
        if (!datum || !isTeamContingencyKey(*datum)) continue;
        for (const std::shared_ptr<ContingencyMasterKey>& record : mine) {
            if (record->ca != datum->extra) continue;
            std::string masterKey;
            bool opened = false;
            for (const std::shared_ptr<ContingencyGroup>& group : groups) {
                if (!group || group->caid != record->ca || group->urn == ownerUrn) continue;
                auto given = std::make_shared<ContingencyMasterKey>();
                given->recipient = group->urn;
                given->ca = record->ca;
                if (held.find(given->geturn())) continue;
                if (!opened) {
                    masterKey = decryptMasterKey(record->keymaterial);
                    opened = true;
                }
                given->keymaterial = encryptMasterKey(masterKey, group->pubkey);
                given->signOther(masterKey);
                myContingencyMasterKeys->push_back(given);
                held.add(given);
                made = true;
            }
            wipeText(masterKey);
        }
    }
    return made;
}

} // namespace VxMeta
