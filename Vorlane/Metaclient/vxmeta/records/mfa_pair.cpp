#include "vxmeta/records/mfa_pair.h"

namespace VxMeta {

namespace {

// Held only by this client: never compared with a service copy and kept by merges.
constexpr uint32_t ClientSecret = WhenNotEmpty | NotCompared | Kept;

} // namespace

const RecordSchema<MFAPair>& MFAPair::schema() {
    static const RecordSchema<MFAPair> table{
        "mfapair",
        {
            field<&MFAPair::created_at>("created_at", LocalOnly | InView),
            field<&MFAPair::updated_at>("updated_at", LocalOnly | InView),
            field<&MFAPair::kind>("kind", InView),
            field<&MFAPair::name>("name", InView),
            field<&MFAPair::enabled>("enabled", InView),
            field<&MFAPair::secret>("secret", ClientSecret),
            field<&MFAPair::token>("token", ClientSecret),
            field<&MFAPair::associationValue>("associationValue", ClientSecret | WhenPresent | InView),
            field<&MFAPair::id>("id", InView),
        },
    };
    return table;
}

std::string MFAPair::idstr() const { return idStr(id); }

std::string MFAPair::geturn() const { return std::to_string(id); }

} // namespace VxMeta
