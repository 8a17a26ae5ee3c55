#include "vxmeta/accounts/key_material.h"

#include <openssl/rsa.h>

#include <json/value.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/accounts/asset_encryption_info.h"
#include "vxmeta/accounts/mfa_checkpoint.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/crypto/two_text_format.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

std::shared_ptr<Asset> heldAsset(const SingleAssetManager& manager) {
    LockScope lock(masterMutex);
    return manager.asset;
}

const Json::Value& memberOf(const Json::Value& reply, const char* name) {
    static const Json::Value none;
    return reply.isObject() ? reply[name] : none;
}

} // namespace

void checkAssetUpgradeState(const std::shared_ptr<Asset>& asset, int32_t allowedLevel, const std::string& message) {
    LockScope lock(masterMutex);
    if (!asset) return;
    const int32_t level = asset->upgradeLevel;
    if (level > globalState.upgradeState) globalState.upgradeState = level;
    if (level > allowedLevel) throw VxMetaException(VXMECAT_UPGRADE, message);
}

void wantToManageAsset(const std::shared_ptr<Asset>& asset) {
    checkAssetUpgradeState(asset, 2,
                           "This application must be upgraded. Managing the keys requires functionality not present "
                           "in this version.");
}

void wantToEncryptUsingAsset(const std::shared_ptr<Asset>& asset) {
    checkAssetUpgradeState(asset, 2,
                           "This application must be upgraded. Use of the encryption key requires functionality not "
                           "present in this version.");
    LockScope lock(masterMutex);
    if (asset && !asset->canEncrypt)
        throw VxMetaException(VXMECAT_POLICY_VIOLATION, Fmt("Policy forbids encryption with Orvanel '%s'", asset->name));
}

void wantToDecryptUsingAsset(const std::shared_ptr<Asset>& asset) {
    checkAssetUpgradeState(asset, 3,
                           "This application must be upgraded. Use of the decryption key(s) requires functionality "
                           "not present in this version.");
}

std::shared_ptr<ContingencyMasterKey> findMyCMKForCA(const std::string& ca) {
    LockScope lock(masterMutex);
    if (!myContingencyMasterKeys || !myPID) return nullptr;
    for (const std::shared_ptr<ContingencyMasterKey>& key : *myContingencyMasterKeys)
        if (key && eq(key->ca, ca) && key->recipient == myPID->urn) return key;
    return nullptr;
}

std::shared_ptr<TeamData> findMyCGPublicKey() {
    LockScope lock(masterMutex);
    const bool registered = myPID && myPID->id != 0;
    if (registered && globalState.teamId <= 0) return nullptr;
    if (!myTeamDatas) return nullptr;
    for (const std::shared_ptr<TeamData>& datum : *myTeamDatas)
        if (datum && datum->kind == "Contingency" && datum->name == "Public Key" &&
            (!registered || datum->team_id == globalState.teamId))
            return datum;
    return nullptr;
}

std::string getContingencyKey(const std::string& keyId, bool /*flag*/) {
    std::string body;
    {
        VCSR executor;
        body = executor.get("contingencykey" + querySuffix("keyinfo", keyId));
    }
    Json::Value reply;
    if (!mayParse(body, reply)) throw VxMetaException(VXMECAT_INTERNAL, "Unable to parse response");
    ContingencyKey contingency;
    contingency.fromJSONValue(memberOf(reply, "ckey"));
    const std::shared_ptr<ContingencyMasterKey> master = findMyCMKForCA(contingency.ca);
    if (!master)
        throw VxMetaException(VXMECAT_INTERNAL,
                              "Contingency key was found but unusable - necessary master key is missing");
    std::string wrappedMaster;
    {
        LockScope lock(masterMutex);
        wrappedMaster = master->keymaterial;
    }
    std::string masterKey = decryptMasterKey(wrappedMaster);
    std::string plain;
    try {
        plain = RSAdecryptOther(contingency.keymaterial, masterKey, RSA_PKCS1_OAEP_PADDING);
    } catch (...) {
        wipeText(masterKey);
        throw;
    }
    wipeText(masterKey);
    const Json::Value& other = memberOf(reply, "okey");
    if (other.isNull()) return plain;
    AssetKey key;
    key.fromJSONValue(other);
    IndirectAES cipher(plain, contingency.keysequence);
    wipeText(plain);
    std::string raw = cipher.decrypt(key.ckeymaterial, false);
    std::string material = base64_encode(raw);
    wipeText(raw);
    return material;
}

bool addressedToMe(const AssetKey& key) {
    if (myPID) {
        if (key.participant == myPID->urn) return true;
        if (!myPID->forwarding_urn.empty() && eq(key.participant, myPID->forwarding_urn)) return true;
    }
    if (!globalState.teamGroupUrn.empty() && key.participant == globalState.teamGroupUrn) return true;
    return globalState.masterKeys.count(key.participantid) != 0;
}

std::string SingleAssetManager::getDecryptionKeyMaterial(const std::string& keyReference, bool flag) {
    checkAllAccess(true, true);
    const AssetEncryptionInfo info = extractAssetInfo(keyReference);
    if (info.sequence < 1) throw VxMetaException(VXMECAT_INTERNAL, "Invalid or missing key sequence number");
    try {
        partialFetch(info.urn, false, false);
    } catch (const VxMetaException& failure) {
        VXLOG(1, "getDecryptionKeyMaterial failed for urn %s - %s", info.urn.c_str(), failure.message.c_str());
        if (failure.httpStatus != 403) throw;
        const RecordListPtr<ContingencyMasterKey> masters = getMyContingencyMasterKeys();
        bool holdsMasterKey = false;
        {
            LockScope lock(masterMutex);
            holdsMasterKey = masters && !masters->empty();
        }
        if (holdsMasterKey) {
            try {
                return getContingencyKey(Fmt("%s:%s", info.urn, info.sequence), flag);
            } catch (const VxMetaException& refused) {
                if (refused.httpStatus != 403) throw;
            }
        }
        askForAsset(keyReference);
        throw;
    }
    wantToDecryptUsingAsset(heldAsset(*this));
    const std::shared_ptr<AssetKey> key = getKey(info.sequence);
    if (!key) return std::string();
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    return key->decryptKeyMaterial();
}

std::shared_ptr<AssetKey> SingleAssetManager::getKey(int32_t sequence) {
    LockScope lock(masterMutex);
    for (const std::shared_ptr<AssetKey>& key : *keys)
        if (key && key->keysequence == sequence && key->allowed && addressedToMe(*key)) return key;
    return nullptr;
}

std::shared_ptr<AssetKey> SingleAssetManager::getEncryptionKey() {
    LockScope lock(masterMutex);
    wantToEncryptUsingAsset(asset);
    int64_t threshold = -1;
    std::shared_ptr<AssetKey> chosen;
    for (const std::shared_ptr<AssetKey>& key : *keys) {
        if (!key || key->keysequence < threshold || !key->allowed || !addressedToMe(*key)) continue;
        chosen = key;
        threshold = static_cast<int64_t>(key->keysequence) + 1;
    }
    return chosen;
}

std::shared_ptr<AssetKey> SingleAssetManager::getEncryptionKeyFor(const std::string& keyReference) {
    checkAllAccess(true, true);
    const AssetEncryptionInfo info = extractAssetInfo(keyReference);
    try {
        partialFetch(info.urn, false, true);
    } catch (const VxMetaException& failure) {
        VXLOG(1, "getEncryptionKeyMaterial failed for urn %s - %s", info.urn.c_str(), failure.message.c_str());
        throw;
    }
    return getEncryptionKey();
}

} // namespace VxMeta
