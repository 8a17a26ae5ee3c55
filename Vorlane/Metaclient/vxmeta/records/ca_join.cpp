#include "vxmeta/records/ca_join.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/record_signing.h"

namespace VxMeta {

const RecordSchema<CAJoin>& CAJoin::schema() {
    static const RecordSchema<CAJoin> table{
        "cajoin",
        &CAJoin::signature,
        {
            field<&CAJoin::created_at>("created_at", LocalOnly),
            field<&CAJoin::updated_at>("updated_at", LocalOnly),
            field<&CAJoin::caurn>("caurn", LocalOnly),
            field<&CAJoin::participant>("participant", InRecord),
            field<&CAJoin::ca>("ca", InRecord),
            field<&CAJoin::userstatus>("userstatus", InRecord),
            field<&CAJoin::teamstatus>("teamstatus", LocalOnly),
            field<&CAJoin::team_id>("team_id"),
            field<&CAJoin::id>("id"),
            field<&CAJoin::participantid>("participantid", LocalOnly),
        },
    };
    return table;
}

std::string CAJoin::idstr() const { return idStr(id); }

std::string CAJoin::geturn() const { return urnxsafe(canocase(caurn)) + "-" + participant; }

bool CAJoin::verifySignature() { return verifySignedValue(); }

bool CAJoin::verifySignedValue() {
    if (userstatus.empty()) return true;
    return verifyTextNoExceptions(recordText, signature, ownPublicKey());
}

} // namespace VxMeta
