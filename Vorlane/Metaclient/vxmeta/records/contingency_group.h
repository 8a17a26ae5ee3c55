// ContingencyGroup: one member of a team's contingency group (URN, name, e-mail address, public
// key), signed by the member and checked with the key it carries, with the URN of that team.
// Records come only from the service and the local store.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class ContingencyGroup : public Record<ContingencyGroup> {
public:
    std::string created_at;
    std::string updated_at;
    std::string urn;
    std::string name;
    std::string email;
    std::string pubkey;
    std::string signature;
    std::string caid;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<ContingencyGroup>& schema();
    std::string idstr() const override;
    // The member's URN, "-", the team URN in lower case made file-name safe.
    std::string geturn() const override;
    // The record's own public key must verify its record text.
    [[nodiscard]] bool verifySignature() override;
};

} // namespace VxMeta
