#include "vxmeta/records/asset_feature.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

const RecordSchema<AssetFeature>& AssetFeature::schema() {
    static const RecordSchema<AssetFeature> table{
        "assetfeature",
        &AssetFeature::signature,
        {
            field<&AssetFeature::created_at>("created_at", LocalOnly),
            field<&AssetFeature::updated_at>("updated_at", LocalOnly),
            field<&AssetFeature::asset>("asset", InRecord),
            field<&AssetFeature::owner>("owner", InRecord),
            field<&AssetFeature::name>("name", InRecord),
            field<&AssetFeature::scope>("scope", InRecord),
            field<&AssetFeature::compatibility>("compatibility", InRecord),
            field<&AssetFeature::value>("value", InRecord | WhenNotEmpty),
            field<&AssetFeature::homeServer>("homeServer"),
            memoryField<&AssetFeature::assetLink>(Kept),
            field<&AssetFeature::id>("id"),
            field<&AssetFeature::assetid>("assetid", LocalOnly),
            field<&AssetFeature::ownerid>("ownerid", LocalOnly),
        },
    };
    return table;
}

std::string AssetFeature::idstr() const { return idStr(id); }

std::string AssetFeature::geturn() const { return asset + "-" + name + "-" + scope; }

bool AssetFeature::verifySignature() { return verifyTextNoExceptions(recordText, signature, getSignerPublicKey()); }

std::string AssetFeature::getSignerPublicKey() const { return linkedAssetSigner(assetLink, "feature", id); }

bool AssetFeature::appliesToMe() const {
    if (scope.empty()) return true;
    for (const std::string& part : splitParts(scope, ","))
        if (setForScopes.count(part) != 0) return true;
    return false;
}

} // namespace VxMeta
