#include "vxmeta/records/app_data.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/device_list_path.h"
#include "vxmeta/records/record_signing.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

const RecordSchema<AppData>& AppData::schema() {
    static const RecordSchema<AppData> table{
        "appdata",
        &AppData::signature,
        {
            field<&AppData::created_at>("created_at", LocalOnly),
            field<&AppData::updated_at>("updated_at", LocalOnly),
            field<&AppData::deviceid>("deviceid"),
            field<&AppData::kind>("kind", InRecord),
            field<&AppData::owner>("owner", InRecord),
            field<&AppData::name>("name", InRecord),
            field<&AppData::value>("value", InRecord),
            field<&AppData::id>("id"),
            field<&AppData::ownerid>("ownerid", LocalOnly),
        },
    };
    return table;
}

std::string AppData::refreshSuffix(const std::string& since) const { return deviceBoundListPath("appdata", since); }

std::string AppData::idstr() const { return idStr(id); }

std::string AppData::geturn() const { return kind + "-" + urnxsafe(name) + "-" + std::to_string(deviceid); }

bool AppData::verifySignature() { return verifyTextNoExceptions(recordText, signature, getSignerPublicKey()); }

std::string AppData::getSignerPublicKey() const {
    if (kind == "MDS") return servicePublicKey();
    return ownPublicKey();
}

} // namespace VxMeta
