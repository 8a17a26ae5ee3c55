#include "vxmeta/records/xpid.h"

#include "vxmeta/crypto/signatures.h"

namespace VxMeta {

const RecordSchema<XPID>& XPID::schema() {
    static const RecordSchema<XPID> table{
        "xpid",
        &XPID::signature,
        {
            field<&XPID::created_at>("created_at", LocalOnly),
            field<&XPID::updated_at>("updated_at", LocalOnly),
            field<&XPID::urn>("urn", InRecord | InView),
            field<&XPID::name>("name", InRecord | InView),
            field<&XPID::email>("email", InRecord | InView),
            field<&XPID::pubkey>("pubkey", InRecord | InView),
            field<&XPID::url>("url", InRecord | InView),
            field<&XPID::kind>("kind", InView),
            field<&XPID::owning_team_id>("owning_team_id"),
            field<&XPID::homeServer>("homeServer", InView),
            field<&XPID::homeId>("homeId"),
            field<&XPID::id>("id", InView),
        },
    };
    return table;
}

std::string XPID::idstr() const { return idStr(id); }

std::string XPID::geturn() const { return urn; }

bool XPID::verifySignature() { return verifyTextNoExceptions(recordText, signature, pubkey); }

} // namespace VxMeta
