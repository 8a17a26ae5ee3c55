// XPID: the public identity of a participant of the service (URN, name, e-mail address, public
// key), signed with its own key: the directory from which other users' keys are looked up, handed
// to callers as view copies.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class XPID : public Record<XPID> {
public:
    std::string created_at;
    std::string updated_at;
    std::string urn;
    std::string name;
    std::string email;
    std::string pubkey;
    std::string url;
    std::string signature;
    int32_t kind = 0;
    int32_t owning_team_id = 0;
    std::string homeServer;
    int64_t homeId = 0;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<XPID>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
    // The record's own public key must verify its record text.
    [[nodiscard]] bool verifySignature() override;
};

} // namespace VxMeta
