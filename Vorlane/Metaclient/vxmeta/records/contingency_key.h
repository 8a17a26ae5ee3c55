// ContingencyKey: one revision (key sequence) of a user's personal session key, wrapped for the
// contingency public key of the user's team, signed by the user; the contingency path reads it
// to recover a key.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class ContingencyKey : public Record<ContingencyKey> {
public:
    std::string created_at;
    std::string updated_at;
    std::string owner;
    int32_t keysequence = 0;
    std::string keymaterial;
    std::string ca;
    std::string signature;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<ContingencyKey>& schema();
    std::string idstr() const override;
    // The owner, "-", the key sequence, "-", the team URN in lower case made file-name safe.
    std::string geturn() const override;
    // The owner's public key must verify the record text; no key found fails the check, and a
    // look-up that fails (a request to the service, an unknown URN among them) is thrown on.
    [[nodiscard]] bool verifySignature() override;
};

} // namespace VxMeta
