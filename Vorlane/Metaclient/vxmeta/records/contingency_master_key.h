// ContingencyMasterKey: a team's contingency private key wrapped (master form) for one member of
// that team's contingency group, signed with that private key itself and checked with the team's
// contingency public key, which the service publishes as team data ("Contingency", "Public Key").
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class ContingencyMasterKey : public Record<ContingencyMasterKey> {
public:
    std::string created_at;
    std::string updated_at;
    std::string recipient;
    std::string keymaterial;
    std::string ca;
    std::string signature;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<ContingencyMasterKey>& schema();
    std::string idstr() const override;
    // The recipient, "-", the team URN in lower case made file-name safe.
    std::string geturn() const override;
    // getSignerPublicKey must verify the record text.
    [[nodiscard]] bool verifySignature() override;
    // Under the master lock: the "value" of the first team datum of kind "Contingency", name
    // "Public Key", an id above 0 and "extra" equal to this key's team ignoring case; the empty
    // text when the dataset holds none. Never fails.
    std::string getSignerPublicKey() const;
    // Signs the record with the given private key (DER) instead of the logged-in user's: the
    // record text is rendered again from the current members and signed with that key.
    void signOther(const std::string& privateKey);
};

} // namespace VxMeta
