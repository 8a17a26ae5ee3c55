// MFAPair: one multi-factor pairing of the signed-in user: a verification method of one MFA kind,
// its name, whether it is enabled, and secret material that this client keeps for it ("secret",
// "token", "associationValue"): merges keep that material and views leave the secrets out.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class MFAPair : public Record<MFAPair> {
public:
    std::string created_at;
    std::string updated_at;
    std::string kind;
    std::string name;
    bool enabled = false;
    std::string secret;
    std::string token;
    std::string associationValue;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<MFAPair>& schema();
    std::string idstr() const override;
    // The id in decimal, "0" before the service numbered it.
    std::string geturn() const override;
};

} // namespace VxMeta
