#include "vxmeta/records/asset_key.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"

namespace VxMeta {

const RecordSchema<AssetKey>& AssetKey::schema() {
    static const RecordSchema<AssetKey> table{
        "assetkey",
        &AssetKey::signature,
        {
            field<&AssetKey::created_at>("created_at", LocalOnly),
            field<&AssetKey::updated_at>("updated_at", LocalOnly),
            field<&AssetKey::asset>("asset", InRecord),
            field<&AssetKey::owner>("owner", InRecord),
            field<&AssetKey::participant>("participant", InRecord),
            field<&AssetKey::keysequence>("keysequence", InRecord),
            field<&AssetKey::keymaterial>("keymaterial", InRecord),
            field<&AssetKey::ckeymaterial>("ckeymaterial", InRecord | WhenNotEmpty),
            field<&AssetKey::ca>("ca", InRecord | WhenNotEmpty),
            field<&AssetKey::allowed>("allowed", LocalOnly | WhenPresent | NotCompared | Kept),
            field<&AssetKey::forwarded_keymaterial>("forwarded_keymaterial", LocalOnly),
            field<&AssetKey::homeServer>("homeServer"),
            memoryField<&AssetKey::assetLink>(Kept),
            field<&AssetKey::id>("id"),
            field<&AssetKey::assetid>("assetid", LocalOnly),
            field<&AssetKey::ownerid>("ownerid", LocalOnly),
            field<&AssetKey::participantid>("participantid", LocalOnly),
        },
    };
    return table;
}

std::string AssetKey::idstr() const { return idStr(id); }

std::string AssetKey::geturn() const { return urnOf(asset, participant, keysequence); }

std::string AssetKey::urnOf(const std::string& asset, const std::string& participant, int32_t keysequence) {
    std::string sequence = std::to_string(keysequence);
    std::string urn;
    urn.reserve(asset.size() + participant.size() + sequence.size() + 2);
    urn.append(asset).append(1, '-').append(participant).append(1, '-').append(sequence);
    return urn;
}

void AssetKey::postDecode() {
    if (forwarded_keymaterial.empty()) return;
    LockScope lock(masterMutex);
    // An identity without a forwarding URN has no forwarded key material.
    if (myPID && !myPID->forwarding_urn.empty() && eq(participant, myPID->forwarding_urn))
        keymaterial = forwarded_keymaterial;
}

bool AssetKey::verifySignature() { return verifyTextNoExceptions(recordText, signature, getSignerPublicKey()); }

std::string AssetKey::getSignerPublicKey() const { return linkedAssetSigner(assetLink, "key", id); }

std::shared_ptr<AssetKey> findMyTeamKey(int teamId) {
    LockScope lock(masterMutex);
    const std::shared_ptr<Asset> team = findTeamAsset(teamId);
    if (!team || !myKeys || !myPID) return nullptr;
    for (const std::shared_ptr<AssetKey>& key : *myKeys)
        if (key && key->asset == team->urn && key->participant == myPID->urn) return key;
    return nullptr;
}

} // namespace VxMeta
