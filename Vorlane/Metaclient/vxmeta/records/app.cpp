#include "vxmeta/records/app.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/device_list_path.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

const RecordSchema<App>& App::schema() {
    static const RecordSchema<App> table{
        "app",
        &App::signature,
        {
            field<&App::created_at>("created_at", LocalOnly),
            field<&App::updated_at>("updated_at", LocalOnly),
            field<&App::deviceid>("deviceid"),
            field<&App::device>("device", InRecord),
            field<&App::owner>("owner", InRecord),
            field<&App::name>("name", InRecord),
            field<&App::version>("version", InRecord),
            field<&App::capabilities>("capabilities", InRecord),
            field<&App::deployid>("deployid", LocalOnly),
            memoryField<&App::deployment>(Kept),
            field<&App::id>("id"),
            field<&App::ownerid>("ownerid", LocalOnly),
        },
    };
    return table;
}

std::string App::refreshSuffix(const std::string& since) const { return deviceBoundListPath("app", since); }

std::string App::idstr() const { return idStr(id); }

std::string App::geturn() const { return urnxsafe(name) + "-" + std::to_string(deviceid); }

bool App::trySync() {
    if (!appListSupported()) return false;
    try {
        return sync();
    } catch (const VxMetaException& e) {
        if (e.httpStatus == 404) setAppListSupported(false);
        handleSyncFailure(e);
        return false;
    }
}

bool App::verifySignature() { return verifyTextNoExceptions(recordText, signature, pubkeyLookupUrn(owner)); }

} // namespace VxMeta
