#include "vxmeta/records/asset_right.h"

#include "vxmeta/crypto/signatures.h"

namespace VxMeta {

const RecordSchema<AssetRight>& AssetRight::schema() {
    static const RecordSchema<AssetRight> table{
        "assetright",
        &AssetRight::signature,
        {
            field<&AssetRight::created_at>("created_at", LocalOnly),
            field<&AssetRight::updated_at>("updated_at", LocalOnly),
            field<&AssetRight::asset>("asset", InRecord),
            field<&AssetRight::owner>("owner", InRecord),
            field<&AssetRight::participant>("participant", InRecord),
            field<&AssetRight::access>("access", InRecord),
            field<&AssetRight::homeServer>("homeServer"),
            memoryField<&AssetRight::assetLink>(Kept),
            field<&AssetRight::id>("id"),
            field<&AssetRight::assetid>("assetid", LocalOnly),
            field<&AssetRight::ownerid>("ownerid", LocalOnly),
            field<&AssetRight::participantid>("participantid", LocalOnly),
        },
    };
    return table;
}

std::string AssetRight::idstr() const { return idStr(id); }

std::string AssetRight::geturn() const { return asset + "-" + participant; }

bool AssetRight::verifySignature() { return verifyTextNoExceptions(recordText, signature, getSignerPublicKey()); }

std::string AssetRight::getSignerPublicKey() const { return linkedAssetSigner(assetLink, "right", id); }

} // namespace VxMeta
