#include "vxmeta/records/device.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/records/record_signing.h"

namespace VxMeta {

const RecordSchema<Device>& Device::schema() {
    static const RecordSchema<Device> table{
        "device",
        &Device::signature,
        {
            field<&Device::created_at>("created_at", LocalOnly),
            field<&Device::updated_at>("updated_at", LocalOnly),
            field<&Device::owner>("owner", InRecord),
            field<&Device::platform_type>("platform_type", InRecord),
            field<&Device::platform_subtype>("platform_subtype", InRecord),
            field<&Device::platform_version>("platform_version", InRecord),
            field<&Device::urn>("urn", InRecord),
            field<&Device::name>("name", InRecord),
            field<&Device::owner_disabled>("owner_disabled", InRecord),
            field<&Device::app_name>("app_name"),
            field<&Device::app_version>("app_version"),
            // The key of the recovery cipher beside it: never stored here (the pair would give the
            // password away), and never sent empty (that would ask the service to forget its code).
            field<&Device::recovery_code>("recovery_code", ServerOnly | WhenNotEmpty),
            field<&Device::recovery_cipher>("recovery_cipher", LocalOnly | WhenPresent | NotCompared | Kept),
            field<&Device::allow_access>("allow_access", LocalOnly),
            field<&Device::appComplianceEtag>("appComplianceEtag", LocalOnly),
            field<&Device::id>("id"),
            field<&Device::ownerid>("ownerid", LocalOnly),
        },
    };
    return table;
}

std::string Device::idstr() const { return idStr(id); }

std::string Device::geturn() const { return urn; }

bool Device::verifySignature() { return verifySignedValue(); }

bool Device::verifySignedValue() {
    if (urn.empty()) return true;
    return verifyTextNoExceptions(recordText, signature, ownPublicKey());
}

} // namespace VxMeta
