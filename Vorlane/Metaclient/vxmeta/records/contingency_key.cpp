#include "vxmeta/records/contingency_key.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/identity_lookup.h"

namespace VxMeta {

const RecordSchema<ContingencyKey>& ContingencyKey::schema() {
    static const RecordSchema<ContingencyKey> table{
        "contingencykey",
        &ContingencyKey::signature,
        {
            field<&ContingencyKey::created_at>("created_at", LocalOnly),
            field<&ContingencyKey::updated_at>("updated_at", LocalOnly),
            field<&ContingencyKey::owner>("owner", InRecord),
            field<&ContingencyKey::keysequence>("keysequence", InRecord),
            field<&ContingencyKey::keymaterial>("keymaterial", InRecord),
            field<&ContingencyKey::ca>("ca", InRecord),
            field<&ContingencyKey::id>("id"),
        },
    };
    return table;
}

std::string ContingencyKey::idstr() const { return idStr(id); }

std::string ContingencyKey::geturn() const {
    return owner + "-" + std::to_string(keysequence) + "-" + urnxsafe(canocase(ca));
}

bool ContingencyKey::verifySignature() { return verifyTextNoExceptions(recordText, signature, pubkeyLookupUrn(owner)); }

} // namespace VxMeta
