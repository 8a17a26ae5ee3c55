#include "vxmeta/records/asset_request.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/identity_lookup.h"

namespace VxMeta {

const RecordSchema<AssetRequest>& AssetRequest::schema() {
    static const RecordSchema<AssetRequest> table{
        "assetrequest",
        &AssetRequest::signature,
        {
            field<&AssetRequest::created_at>("created_at", LocalOnly),
            field<&AssetRequest::updated_at>("updated_at", LocalOnly),
            field<&AssetRequest::asset>("asset", InRecord),
            field<&AssetRequest::participant>("participant", InRecord),
            memoryField<&AssetRequest::assetLink>(Kept),
            memoryField<&AssetRequest::status>(Kept),
            field<&AssetRequest::id>("id"),
            field<&AssetRequest::assetid>("assetid", LocalOnly),
            field<&AssetRequest::participantid>("participantid", LocalOnly),
        },
    };
    return table;
}

std::string AssetRequest::idstr() const { return idStr(id); }

std::string AssetRequest::geturn() const { return AssetRight::urnOf(asset, participant); }

bool AssetRequest::verifySignature() {
    return verifyTextNoExceptions(recordText, signature, pubkeyLookupUrn(participant));
}

} // namespace VxMeta
