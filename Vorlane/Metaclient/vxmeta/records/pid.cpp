#include "vxmeta/records/pid.h"

#include "vxmeta/crypto/signatures.h"

namespace VxMeta {

const RecordSchema<PID>& PID::schema() {
    static const RecordSchema<PID> table{
        "pid",
        &PID::signature,
        {
            field<&PID::created_at>("created_at", LocalOnly),
            field<&PID::updated_at>("updated_at", LocalOnly),
            field<&PID::urn>("urn", InRecord),
            field<&PID::name>("name", InRecord),
            field<&PID::email>("email", InRecord),
            field<&PID::pubkey>("pubkey", InRecord),
            field<&PID::url>("url", InRecord | WhenNotEmpty),
            field<&PID::forwarding_urn>("forwarding_urn", LocalOnly | WhenPresent | NotCompared | Kept),
            field<&PID::id>("id"),
        },
    };
    return table;
}

std::string PID::idstr() const { return idStr(id); }

std::string PID::geturn() const { return urn; }

bool PID::verifySignature() { return verifyTextNoExceptions(recordText, signature, pubkey); }

} // namespace VxMeta
