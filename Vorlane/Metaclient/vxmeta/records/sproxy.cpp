#include "vxmeta/records/sproxy.h"

namespace VxMeta {

const RecordSchema<Sproxy>& Sproxy::schema() {
    static const RecordSchema<Sproxy> table{
        "sproxy",
        {
            field<&Sproxy::email>("email"),
            field<&Sproxy::sproxy>("sproxy"),
            field<&Sproxy::url>("url"),
            field<&Sproxy::urn>("urn"),
        },
    };
    return table;
}

std::string Sproxy::idstr() const { return idStr(email); }

std::string Sproxy::geturn() const { return std::string(); }

} // namespace VxMeta
