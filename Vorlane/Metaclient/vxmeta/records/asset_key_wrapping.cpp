#include "vxmeta/records/asset_key_wrapping.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include <openssl/rsa.h>

#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_signing.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

namespace {

// Opening one key may need another (the personal key of an indirect form, the group master key of
// a participant); the chain is short in any sound dataset. A longer one is a loop in damaged key
// data and fails instead of exhausting the stack.
constexpr int kMaxKeyChain = 8;
thread_local int keyChainDepth = 0;

class KeyChainStep {
public:
    KeyChainStep() {
        if (keyChainDepth >= kMaxKeyChain)
            throw VxMetaException(VXMECAT_INTERNAL, "Unable to decrypt asset key - key chain too long");
        ++keyChainDepth;
    }
    ~KeyChainStep() { --keyChainDepth; }
    KeyChainStep(const KeyChainStep&) = delete;
    KeyChainStep& operator=(const KeyChainStep&) = delete;
};

// The key sequence of an indirect form: a decimal int, nothing else.
int32_t readKeySequence(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        throw VxMetaException(VXMECAT_INTERNAL, "Unable to decrypt asset key - invalid key sequence");
    return value;
}

} // namespace

std::string decryptSessionKey(const std::string& wrapped) { return decryptAssetKey(wrapped); }

std::string decryptMasterKey(const std::string& wrapped) {
    const std::vector<std::string> parts = splitParts(wrapped, "|");
    if (parts.size() != 2)
        throw VxMetaException(VXMECAT_UPGRADE, "Unsupported data format encountered - possible upgrade required");
    const std::string sessionKey = RSAdecrypt(parts[0], RSA_PKCS1_OAEP_PADDING);
    return StraightAES(sessionKey).decrypt(parts[1], true);
}

std::string encryptAssetKey(const std::string& assetUrn, const std::string& sessionKey, const std::string& publicKey) {
    if (isPriv(assetUrn) || publicKey != ownPublicKey()) return encryptSessionKey(sessionKey, publicKey);
    std::string personalMaterial;
    int32_t personalSequence = 0;
    {
        LockScope lock(masterMutex);
        const std::shared_ptr<AssetKey> personal = currentPersonalAssetKey();
        if (!personal)
            throw VxMetaException(VXMECAT_INTERNAL, "Unable to encrypt asset key - priv key is unknown - sync required");
        personalMaterial = personal->keymaterial;
        personalSequence = personal->keysequence;
    }
    const std::string personalKey = decryptSessionKey(personalMaterial);
    return IndirectAES(personalKey, personalSequence).encrypt(base64_decode(sessionKey), false);
}

std::string decryptAssetKey(const std::string& wrapped) {
    if (loggedInPrivateKey().empty()) throw VxMetaException(VXMECAT_INTERNAL, "Unable to decrypt key - not logged in.");
    KeyChainStep step;
    if (wrapped.find("|V4") != std::string::npos) return decryptMasterKey(wrapped);
    const std::vector<std::string> parts = splitParts(wrapped, "-");
    if (parts.size() == 4 && parts[0] == "V3") {
        const int32_t keysequence = readKeySequence(parts[1]);
        std::string personalMaterial;
        {
            LockScope lock(masterMutex);
            const std::shared_ptr<AssetKey> personal = personalAssetKey(keysequence);
            if (!personal)
                throw VxMetaException(VXMECAT_INTERNAL, "Unable to decrypt asset key - required second key is unknown");
            personalMaterial = personal->keymaterial;
        }
        const std::string personalKey = decryptSessionKey(personalMaterial);
        return base64_encode(IndirectAES(personalKey, keysequence).decrypt(wrapped, false));
    }
    return RSAdecrypt(wrapped, RSA_PKCS1_OAEP_PADDING);
}

std::string AssetKey::decryptKeyMaterial() const {
    LockScope lock(masterMutex);
    KeyChainStep step;
    if (myPID && participantid == myPID->id) return decryptSessionKey(keymaterial);
    const std::string groupUrn = teamGroupUrn();
    if (!groupUrn.empty() && participant == groupUrn)
        return RSAdecryptOther(keymaterial, teamGroupPrivateKey(), RSA_PKCS1_OAEP_PADDING);
    const std::shared_ptr<AssetKey> master = groupMasterAssetKey(participantid);
    if (!master) throw VxMetaException(VXMECAT_INTERNAL, "Unable to decrypt asset key - required master key is unknown");
    const std::string groupKey = master->decryptKeyMaterial();
    return RSAdecryptOther(keymaterial, groupKey, RSA_PKCS1_OAEP_PADDING);
}

std::shared_ptr<AssetKey> issueAssetKey(const std::shared_ptr<Asset>& asset, const RecordListPtr<AssetKey>& keys) {
    LockScope lock(masterMutex);
    if (!asset) throw VxMetaException(VXMECAT_INTERNAL, "Unable to issue an asset key without its asset");
    auto key = std::make_shared<AssetKey>();
    key->assetLink = asset;
    key->asset = asset->urn;
    if (myUser) key->homeServer = myUser->homeServer;
    const std::string ownUrn = myPID ? myPID->urn : std::string();
    const std::string ownKey = myPID ? myPID->pubkey : std::string();
    key->owner = ownUrn;
    key->participant = ownUrn;
    int32_t highest = 0;
    if (keys)
        for (const std::shared_ptr<AssetKey>& held : *keys)
            if (held && held->asset == key->asset) highest = std::max(highest, held->keysequence);
    if (highest == std::numeric_limits<int32_t>::max())
        throw VxMetaException(VXMECAT_INTERNAL, "Unable to issue an asset key - no key sequence left");
    key->keysequence = highest + 1;
    key->ca = currentTeamUrn();
    const std::string sessionKey = generateSessionKey();
    key->keymaterial = encryptSessionKey(sessionKey, ownKey);
    if (!isPriv(key->asset)) key->ckeymaterial = encryptAssetKey(key->asset, sessionKey, ownKey);
    key->allowed = false;
    if (keys) keys->push_back(key);
    if (myKeys && keys != myKeys) myKeys->push_back(key);
    return key;
}

} // namespace VxMeta
