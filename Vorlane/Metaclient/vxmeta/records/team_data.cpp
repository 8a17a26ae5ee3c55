#include "vxmeta/records/team_data.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

const RecordSchema<TeamData>& TeamData::schema() {
    static const RecordSchema<TeamData> table{
        "teamdata",
        {
            field<&TeamData::created_at>("created_at", LocalOnly),
            field<&TeamData::updated_at>("updated_at", LocalOnly | InView),
            field<&TeamData::team_id>("team_id"),
            field<&TeamData::kind>("kind", InView),
            field<&TeamData::name>("name", InView),
            field<&TeamData::value>("value", InView),
            field<&TeamData::extra>("extra", WhenNotEmpty),
            field<&TeamData::signature>("signature", WhenNotEmpty),
            field<&TeamData::id>("id", InView),
        },
    };
    return table;
}

std::string TeamData::idstr() const { return idStr(id); }

std::string TeamData::geturn() const { return kind + "-" + urnxsafe(name) + "-" + std::to_string(team_id); }

bool TeamData::verifySignature() { return verifySignedValue(); }

bool TeamData::verifySignedValue() {
    // A held datum is shared with the synchronization, which merges newer copies into it under the
    // master lock; its members are read under that lock too (the check asks nothing of the service).
    LockScope lock(masterMutex);
    if (kind == "ClientPolicy") return verifyTextNoExceptions(value, signature, servicePublicKey());
    if (startswith(kind, "Satellite") || kind == "Contingency" || kind == "MFAPolicy")
        return verifyTextNoExceptions(kind + name + std::to_string(team_id) + updated_at + value, signature,
                                      servicePublicKey());
    return true;
}

} // namespace VxMeta
