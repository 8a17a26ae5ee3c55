// TeamAuthority: one authority entry of a team: a name, a caid, the team's authorities as one
// text, and the URN and public key of the team group. Kept and stored with the dataset; never
// fetched from or sent to the service by this library.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class TeamAuthority : public Record<TeamAuthority> {
public:
    std::string name;
    std::string caid;
    std::string authorities;
    std::string team_group_urn;
    std::string team_group_pubkey;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<TeamAuthority>& schema();
    std::string idstr() const override;
    // The caid in lower case, made file-name safe.
    std::string geturn() const override;
};

} // namespace VxMeta
