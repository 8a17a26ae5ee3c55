// TeamData: a named value of a team, written and signed by the service: the team's policies
// ("ClientPolicy", "Satellite Policy", "MFAPolicy") and its contingency public key ("Contingency",
// "Public Key") among them. The signed text depends on the kind.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class TeamData : public Record<TeamData> {
public:
    std::string created_at;
    std::string updated_at;
    int32_t team_id = 0;
    std::string kind;
    std::string name;
    std::string value;
    std::string extra;
    std::string signature;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<TeamData>& schema();
    std::string idstr() const override;
    // The kind, "-", the file-name safe name, "-", the team id.
    std::string geturn() const override;
    // verifySignedValue.
    [[nodiscard]] bool verifySignature() override;
    // With the service's key: kind "ClientPolicy" signs its value; a kind beginning with
    // "Satellite", and "Contingency" and "MFAPolicy", sign kind, name, team id, "updated_at" and
    // value joined without separators; any other kind is not checked (true). Never fails.
    [[nodiscard]] bool verifySignedValue();
};

} // namespace VxMeta
