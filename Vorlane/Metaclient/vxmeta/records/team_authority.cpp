#include "vxmeta/records/team_authority.h"

#include "vxmeta/foundation/text.h"

namespace VxMeta {

const RecordSchema<TeamAuthority>& TeamAuthority::schema() {
    static const RecordSchema<TeamAuthority> table{
        "teamauthority",
        {
            field<&TeamAuthority::name>("name"),
            field<&TeamAuthority::caid>("caid"),
            field<&TeamAuthority::authorities>("authorities"),
            field<&TeamAuthority::team_group_urn>("team_group_urn"),
            field<&TeamAuthority::team_group_pubkey>("team_group_pubkey"),
            field<&TeamAuthority::id>("id"),
        },
    };
    return table;
}

std::string TeamAuthority::idstr() const { return idStr(id); }

std::string TeamAuthority::geturn() const { return urnxsafe(canocase(caid)); }

} // namespace VxMeta
