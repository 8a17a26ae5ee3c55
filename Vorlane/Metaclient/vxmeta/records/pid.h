// PID: the user's public identity (URN, name, e-mail address, RSA public key), signed with the
// identity's own private key so that anybody holding it can check it with the key it carries.
// Its id is the account's id on the service. "forwarding_urn" lives only on this client.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class PID : public Record<PID> {
public:
    std::string created_at;
    std::string updated_at;
    std::string urn;
    std::string name;
    std::string email;
    std::string pubkey;
    std::string url;
    std::string signature;
    std::string forwarding_urn;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<PID>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
    // The record's own public key must verify its record text (both empty count as valid).
    [[nodiscard]] bool verifySignature() override;
};

} // namespace VxMeta
