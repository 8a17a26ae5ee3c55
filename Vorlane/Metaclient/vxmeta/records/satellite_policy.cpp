#include "vxmeta/records/satellite_policy.h"

namespace VxMeta {

namespace {

// Every member is optional in a policy text, and two policies never count as different.
constexpr uint32_t PolicyMember = WhenPresent | NotCompared | Kept;

} // namespace

const RecordSchema<SatellitePolicy>& SatellitePolicy::schema() {
    static const RecordSchema<SatellitePolicy> table{
        "satellitepolicy",
        {
            field<&SatellitePolicy::version>("version", PolicyMember),
            field<&SatellitePolicy::offline_access_hours>("offline_access_hours", PolicyMember),
            field<&SatellitePolicy::ma_credential_interval_minutes>("ma_credential_interval_minutes", PolicyMember),
            field<&SatellitePolicy::skey_flag>("skey_flag", PolicyMember),
            field<&SatellitePolicy::persist_metadata>("persist_metadata", PolicyMember),
            field<&SatellitePolicy::persist_credentials>("persist_credentials", PolicyMember),
            field<&SatellitePolicy::recipients_lookup_max>("recipients_lookup_max", PolicyMember),
        },
    };
    return table;
}

std::string SatellitePolicy::idstr() const { return idStr(version); }

std::string SatellitePolicy::geturn() const { return std::string(); }

} // namespace VxMeta
