// Archive passwords and the archive key metadata that an encrypted archive carries instead of its
// password. Two forms, both rendered compact with sorted members and one final line feed:
//   asset form        {"assets":[{"<key URN>:<key sequence>":"<cipher text>"}],"homeServer":..,"owner":..}
//   contingency form  {"cgkey":{"ca":"<team URN>","keymaterial":"<RSA form>"},"homeServer":..,"owner":..}
// The cipher text is the lower-case hex of a random 16-byte IV and the AES-CBC ciphertext (PKCS#7)
// of the password under the key revision's key material; "V7-" in front marks a password the caller
// chose, encrypted NUL-padded to 32 bytes, which a reader cuts at its first NUL. Without the prefix
// the password is a generated session key, used whole.
#include <openssl/rsa.h>

#include <json/value.h>

#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/accounts/asset_encryption_info.h"
#include "vxmeta/accounts/key_material.h"
#include "vxmeta/accounts/mfa_checkpoint.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

constexpr char kCallerPasswordTag[] = "V7";
constexpr size_t kIvBytes = 16;
constexpr size_t kPaddedPasswordBytes = 32;
constexpr size_t kMinCipherDigits = 128;

// The metadata text: the compact rendering and its final line feed.
std::string renderMetadata(const Json::Value& metadata) { return jsonString(metadata) + "\n"; }

// What the writer needs of a key revision, copied under the master lock.
struct KeyRevision {
    std::shared_ptr<Asset> asset;
    std::string urn;
    int32_t sequence = 0;
    std::string homeServer;
    std::string owner;
};

KeyRevision revisionOf(const AssetKey& key) {
    LockScope lock(masterMutex);
    return KeyRevision{key.assetLink, key.asset, key.keysequence, key.homeServer, key.owner};
}

std::string cutAtFirstNul(std::string text) {
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

std::string contingencyPassword(const AssetEncryptionInfo& info) {
    if (info.ca.empty()) throw VxMetaException(VXMECAT_NOTFOUND, "No password found");
    const std::shared_ptr<ContingencyMasterKey> master = findMyCMKForCA(info.ca);
    if (!master) throw VxMetaException(VXMECAT_NOTFOUND, "Contingency master key not found");
    std::string wrapped;
    {
        LockScope lock(masterMutex);
        wrapped = master->keymaterial;
    }
    std::string groupKey = decryptMasterKey(wrapped);
    try {
        std::string password = RSAdecryptOther(info.keymaterial, groupKey, RSA_PKCS1_OAEP_PADDING);
        wipeText(groupKey);
        return password;
    } catch (...) {
        wipeText(groupKey);
        throw;
    }
}

} // namespace

std::string RawVorlane::getArchiveDecryptionPassword(const std::string& json, bool flag) {
    const AssetEncryptionInfo info = extractAssetInfo(json);
    if (info.keymaterial.empty()) throw VxMetaException(VXMECAT_INTERNAL, "Missing or invalid archive session key");
    if (info.urn.empty()) return contingencyPassword(info);

    const std::vector<std::string> parts = splitParts(info.keymaterial, "-");
    const bool callerPassword = parts.size() >= 2 && parts[0] == kCallerPasswordTag;
    const std::string& cipherText = callerPassword ? parts[1] : info.keymaterial;

    std::string keyMaterial = SingleAssetManager().getDecryptionKeyMaterial(json, flag);
    std::string password;
    try {
        const std::string bytes = unhex(cipherText, kMinCipherDigits, VXMECAT_INTERNAL,
                                        "Key format is unexpected - expected at least 128 hex characters");
        password = AES(keyMaterial, true).decrypt(bytes.substr(kIvBytes), bytes.substr(0, kIvBytes), true);
    } catch (...) {
        wipeText(keyMaterial);
        throw;
    }
    wipeText(keyMaterial);
    return callerPassword ? cutAtFirstNul(std::move(password)) : password;
}

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey,
                                                                    const std::string& password) {
    EncryptionInfo result;
    if (!assetKey) return result;
    const KeyRevision revision = revisionOf(*assetKey);
    if (revision.asset) wantToEncryptUsingAsset(revision.asset);
    mfaCheckpoint(MFA_ACTION_ENCRYPT);

    const bool callerPassword = !password.empty();
    result.password = callerPassword ? password : generateSessionKey();
    if (callerPassword && result.password.size() < kPaddedPasswordBytes)
        result.password.resize(kPaddedPasswordBytes, '\0');

    const std::string iv = randomBytes(static_cast<int>(kIvBytes));
    std::string keyMaterial = assetKey->decryptKeyMaterial();
    std::string cipherText;
    try {
        cipherText = hex(iv + AES(keyMaterial, true).encrypt(result.password, iv, true));
    } catch (...) {
        wipeText(keyMaterial);
        throw;
    }
    wipeText(keyMaterial);
    if (callerPassword) cipherText = std::string(kCallerPasswordTag) + "-" + cipherText;

    Json::Value entry(Json::objectValue);
    entry[revision.urn + ":" + std::to_string(revision.sequence)] = cipherText;
    Json::Value metadata(Json::objectValue);
    metadata["assets"].append(entry);
    if (!revision.homeServer.empty()) metadata["homeServer"] = revision.homeServer;
    metadata["owner"] = revision.owner;
    result.json = renderMetadata(metadata);
    return result;
}

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey) {
    return getArchiveEncryptionPassword(std::move(assetKey), std::string());
}

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(SingleAssetManager& manager) {
    return getArchiveEncryptionPassword(manager.getEncryptionKey(), std::string());
}

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(const std::string& keyUrn) {
    SingleAssetManager manager;
    return getArchiveEncryptionPassword(manager.getEncryptionKeyFor(keyUrn), std::string());
}

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(const std::string& keyUrn,
                                                                    const std::string& password) {
    if (keyUrn.empty()) return applyContingencyKeyIfNeeded(password);
    SingleAssetManager manager;
    return getArchiveEncryptionPassword(manager.getEncryptionKeyFor(keyUrn), password);
}

RawVorlane::EncryptionInfo RawVorlane::applyContingencyKeyIfNeeded(const std::string& password) {
    LockScope lock(masterMutex);
    EncryptionInfo result;
    result.password = password.empty() ? generateSessionKey() : password;
    const std::shared_ptr<TeamData> groupKey = findMyCGPublicKey();
    if (!groupKey) return result;

    Json::Value metadata(Json::objectValue);
    metadata["cgkey"]["ca"] = globalState.caUrn;
    metadata["cgkey"]["keymaterial"] = encryptSessionKey(result.password, groupKey->value);
    std::string homeServer = globalState.homeServer;
    if (myPID && myPID->id > 0) {
        metadata["owner"] = myPID->urn;
        homeServer = myUser ? myUser->homeServer : std::string();
    }
    if (!homeServer.empty()) metadata["homeServer"] = homeServer;
    result.json = renderMetadata(metadata);
    return result;
}

bool RawVorlane::isContingencyGroupActive() { return findMyCGPublicKey() != nullptr; }

bool RawVorlane::canCreateKey(const std::string& keyKind) {
    if (keyKind == "community" || keyKind == "groupMaster") return false;
    // The state is read under the master lock like every other reader of it; nothing is requested.
    LockScope lock(masterMutex);
    return (globalState.satellitePolicy.skey_flag & 1) != 0;
}

} // namespace VxMeta
