#include "vxmeta/sync/state_processor.h"

#include <algorithm>
#include <unordered_set>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/accounts/access_requests.h"
#include "vxmeta/accounts/team_membership.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_authority.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

// Key permissions of the client policy.
constexpr int32_t kEncryptOwnKeys = 0x1;
constexpr int32_t kEncryptPersonalKey = 0x2;
constexpr int32_t kEncryptOthersKeys = 0x8;
constexpr int32_t kDeleteKeys = 0x10;

// The upgrade level a feature of this compatibility demands.
int32_t upgradeLevelOf(const std::string& compatibility) {
    if (compatibility == "Mandatory") return 4;
    if (compatibility == "ReadOnly" || compatibility.empty()) return 3;
    if (compatibility == "Suggested") return 2;
    if (compatibility == "Optional") return 1;
    return 4;
}

// The compatibility text of an upgrade level, and whether the level still allows encryption.
const char* compatibilityText(int32_t level) {
    switch (level) {
    case 0: return "Fully Compatible";
    case 1: return "Optional Upgrade";
    case 2: return "Suggested Upgrade";
    case 3: return "Read Only - Upgrade required";
    default: return "Requires Upgrade";
    }
}

bool isTeamContingencyKey(const TeamData& datum) { return datum.kind == "Contingency" && datum.name == "Public Key"; }

} // namespace

StateProcessor::StateProcessor(RecordListPtr<Asset>& assetList, RecordListPtr<AssetRight>& rightList,
                               RecordListPtr<AssetKey>& keyList, RecordListPtr<AssetFeature>& featureList)
    : assets(assetList), rights(rightList), features(featureList), keys(keyList),
      toDelete(std::make_shared<RecordList<AssetRequest>>()), toNotify(std::make_shared<RecordList<AssetRequest>>()),
      waiting(std::make_shared<RecordList<AssetRequest>>()), answered(std::make_shared<RecordList<AssetRequest>>()) {
    LockScope lock(masterMutex);
    if (myPID) {
        ownerUrn = myPID->urn;
        ownerId = myPID->id;
    }
}

void StateProcessor::indexLists() {
    LockScope lock(masterMutex);
    indexed = true;
    assetsByUrn = URNMap<Asset>(assets, true);
    rightsByUrn = URNMap<AssetRight>(rights, true);
    identitiesByUrn = URNMap<XPID>(myXPIDs, true);
    keysByUrn = URNMap<AssetKey>(keys, true);
    appDataByUrn = URNMap<AppData>(myAppDatas, true);
}

std::string StateProcessor::urnForKey(const std::string& asset, const std::string& participant, int32_t keysequence) {
    return AssetKey::urnOf(asset, participant, keysequence);
}

void StateProcessor::runMaster() {
    assertMasterLockNotHeld("the reconciliation pass");
    updatePolicy();
    // A second round only when the first noted participants that only the service can name.
    for (int round = 0; round < 2; ++round) {
        {
            LockScope lock(masterMutex);
            indexLists();
            lookUps.clear();
            lookUpsNoted.clear();
            examineAppData();
            examineCA();
            examineTeamGroup();
            run(true);
            examineTeamPubKey();
        }
        if (!lookUpNotedParticipants()) break;
    }
    answerRefusedRequests();
}

void StateProcessor::run(bool fullPass) {
    LockScope lock(masterMutex);
    if (!indexed) indexLists();
    if (myPID) forwardingUrn = myPID->forwarding_urn;
    examineFeatures();
    examineRights();
    examineRequests();
    examineKeys(fullPass);
}

void StateProcessor::answerRefusedRequests() {
    if (refused.empty()) return;
    assertMasterLockNotHeld("answering refused requests");
    if (!loggedIn()) return;
    const std::vector<std::shared_ptr<AssetRequest>> answering = std::move(refused);
    refused.clear();
    refusedSet.clear();
    // A request answered or dropped since the pass saw it is left alone. The caller holds the sync
    // lock, so only these answers change the list meanwhile, each removing its own request.
    std::unordered_set<const AssetRequest*> held;
    {
        LockScope lock(masterMutex);
        if (myRequests)
            for (const std::shared_ptr<AssetRequest>& request : *myRequests) held.insert(request.get());
    }
    for (const std::shared_ptr<AssetRequest>& request : answering)
        if (held.count(request.get()) != 0) respondToRequest(request, "deny");
}

void StateProcessor::examineAppData() {
    if (!myPID) return;
    if (loggedIn() && globalState.personalKey) {
        auto probe = std::make_shared<AppData>();
        probe->kind = "VxMetaClient";
        probe->owner = myPID->urn;
        probe->name = "forwarding_urn";
        if (const std::shared_ptr<AppData> datum = appDataByUrn.find(probe->geturn())) {
            if (datum->value != myPID->forwarding_urn) {
                myPID->forwarding_urn = datum->value;
                myPID->localDirty = true;
            }
        } else if (myPID->forwarding_urn.empty()) {
            myPID->forwarding_urn = "email!" + canocase(myPID->email);
            probe->value = myPID->forwarding_urn;
            myPID->localDirty = true;
            if (myAppDatas) myAppDatas->push_back(probe);
            appDataByUrn.add(probe);
        }
    }
    forwardingUrn = myPID->forwarding_urn;
}

void StateProcessor::examineCA() {
    if (myUser && myUser->team_id != 0) {
        globalState.teamId = myUser->team_id;
        globalState.caUrn = myUser->ca;
        return;
    }
    const std::shared_ptr<CAJoin> join = getCA();
    if (join && join->teamstatus == "allow") {
        globalState.caUrn = join->ca;
        globalState.teamId = join->team_id;
    } else {
        globalState.caUrn.clear();
        globalState.teamId = 0;
    }
}

void StateProcessor::examineTeamGroup() {
    globalState.teamGroupUrn.clear();
    wipeText(globalState.teamGroupPrikey);
    if (!myTeamAuthorities) return;
    const bool signedIn = loggedIn();
    for (const std::shared_ptr<TeamAuthority>& authority : *myTeamAuthorities) {
        if (!authority || authority->caid != globalState.caUrn) continue;
        globalState.teamGroupUrn = authority->team_group_urn;
        if (!keys) continue;
        for (const std::shared_ptr<AssetKey>& key : *keys) {
            if (!key || key->owner != globalState.teamGroupUrn || key->participant != ownerUrn) continue;
            if (signedIn) {
                std::string groupKey = decryptMasterKey(key->keymaterial);
                wipeText(globalState.teamGroupPrikey);
                globalState.teamGroupPrikey = std::move(groupKey);
            }
            break;
        }
    }
}

void StateProcessor::examineTeamPubKey() {
    if (!myPID || !myTeamDatas || !loggedIn() || !globalState.personalKey) return;
    // A copy: the key work below takes the master lock again, and nothing may change the list meanwhile.
    const RecordList<TeamData> data = *myTeamDatas;
    for (const std::shared_ptr<TeamData>& datum : data) {
        if (!datum || !isTeamContingencyKey(*datum) || datum->id != 0 || datum->remoteDirty) continue;
        // The pair and the master key record are made and checked aside; the datum changes only
        // once both checks have passed, so a failure leaves it as it was.
        std::string publicKey;
        std::string privateKey;
        generateRSAKeys(publicKey, privateKey);
        ContingencyMasterKey masterKey;
        masterKey.ca = datum->extra;
        masterKey.recipient = myPID->urn;
        masterKey.keymaterial = encryptMasterKey(privateKey, myPID->pubkey);
        std::string roundTrip = decryptMasterKey(masterKey.keymaterial);
        const bool same = roundTrip == privateKey;
        wipeText(roundTrip);
        if (!same) {
            wipeText(privateKey);
            throw VxMetaException(VXMECAT_INTERNAL,
                                  "Round trip encrypt/decrypt failed after creating contingency master key");
        }
        masterKey.signOther(privateKey);
        wipeText(privateKey);
        if (!verifyTextNoExceptions(masterKey.recordText, masterKey.signature, publicKey))
            throw VxMetaException(VXMECAT_INTERNAL,
                                  "Signature verification failed after creating new contingency master key");
        datum->value = publicKey;
        datum->extra = masterKey.toJSON(true);
        datum->remoteDirty = true;
        datum->localDirty = true;
        changed = true;
    }
}

void StateProcessor::examineFeatures() {
    const int32_t permissions = globalState.satellitePolicy.skey_flag;
    ownEncryptable = URNMap<Asset>();
    if (!assets) return;
    ownEncryptable.reserve(assets->size());
    int32_t highest = 0;
    for (const std::shared_ptr<Asset>& asset : *assets)
        if (asset) asset->upgradeLevel = 0;
    if (features) {
        for (const std::shared_ptr<AssetFeature>& feature : *features) {
            if (!feature || !feature->appliesToMe() || knownFeatures.count(feature->name) != 0) continue;
            const std::shared_ptr<Asset> asset = assetsByUrn.find(feature->asset);
            feature->assetLink = asset;
            if (!asset) continue;
            const int32_t level = upgradeLevelOf(feature->compatibility);
            asset->upgradeLevel = std::max(asset->upgradeLevel, level);
            highest = std::max(highest, level);
        }
    }
    for (const std::shared_ptr<Asset>& asset : *assets) {
        if (!asset) continue;
        const bool own = asset->owner == ownerUrn;
        asset->canDelete = (permissions & kDeleteKeys) != 0 && own && asset->object_kind != "priv";
        asset->compatibility = compatibilityText(asset->upgradeLevel);
        if (asset->upgradeLevel <= 2) {
            asset->canEncrypt = true;
        } else {
            asset->canEncrypt = false;
            asset->canDelete = false;
        }
        if (asset->canEncrypt) {
            if (asset->object_kind == "groupMaster")
                asset->canEncrypt = false;
            else if (asset->object_kind == "priv")
                asset->canEncrypt = (permissions & kEncryptPersonalKey) != 0;
            else if (asset->object_kind != "community")
                asset->canEncrypt = (permissions & (own ? kEncryptOwnKeys : kEncryptOthersKeys)) != 0;
        }
        if (asset->upgradeLevel <= 2 && asset->delete_by.empty() && own && asset->canEncrypt)
            ownEncryptable.add(asset);
    }
    if (assets.get() == myAssets.get() && highest < globalState.upgradeState) globalState.upgradeState = highest;
}

void StateProcessor::examineRights() {
    if (!rights) return;
    for (const std::shared_ptr<AssetRight>& right : *rights)
        if (right) right->assetLink = assetsByUrn.find(right->asset);
}

void StateProcessor::examineRequests() {
    toDelete->clear();
    toNotify->clear();
    waiting->clear();
    answered->clear();
    // A copy: answering a request removes it from the list.
    const RecordList<AssetRequest> requests = myRequests ? *myRequests : RecordList<AssetRequest>();
    for (const std::shared_ptr<AssetRequest>& request : requests)
        if (request) examineRequest(request);
}

void StateProcessor::examineRequest(const std::shared_ptr<AssetRequest>& request) {
    const std::shared_ptr<Asset> asset = assetsByUrn.find(request->asset);
    request->assetLink = asset;
    const bool forMyKey = asset && asset->owner == ownerUrn;
    const bool rightExists = rightsByUrn.find(request->geturn()) != nullptr;
    if (request->participant == ownerUrn) {
        request->status = rightExists ? "delete" : "waiting";
        (rightExists ? toDelete : waiting)->push_back(request);
    } else if (rightExists) {
        answered->push_back(request);
        request->status = "answered";
    } else if (!forMyKey) {
        request->status = "pending";
    } else if (!asset->delete_by.empty()) {
        // The key is being deleted: the request is refused once the pass is over.
        if (refusedSet.insert(request.get()).second) refused.push_back(request);
        changed = true;
    } else {
        toNotify->push_back(request);
        request->status = "notify";
    }
}

} // namespace VxMeta
