#include "vxmeta/records/contingency_group.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

const RecordSchema<ContingencyGroup>& ContingencyGroup::schema() {
    static const RecordSchema<ContingencyGroup> table{
        "contingencygroup",
        &ContingencyGroup::signature,
        {
            field<&ContingencyGroup::created_at>("created_at", LocalOnly),
            field<&ContingencyGroup::updated_at>("updated_at", LocalOnly),
            field<&ContingencyGroup::urn>("urn", InRecord),
            field<&ContingencyGroup::name>("name", InRecord),
            field<&ContingencyGroup::email>("email", InRecord),
            field<&ContingencyGroup::pubkey>("pubkey", InRecord),
            field<&ContingencyGroup::caid>("caid"),
            field<&ContingencyGroup::id>("id"),
        },
    };
    return table;
}

std::string ContingencyGroup::idstr() const { return idStr(id); }

std::string ContingencyGroup::geturn() const { return urn + "-" + urnxsafe(canocase(caid)); }

bool ContingencyGroup::verifySignature() { return verifyTextNoExceptions(recordText, signature, pubkey); }

} // namespace VxMeta
