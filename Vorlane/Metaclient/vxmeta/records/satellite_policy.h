// SatellitePolicy: the client policy that the service hands out as the value of a "Satellite
// Policy" team datum: the policy version, offline hours, the managed-account check interval, the
// key-permission flags, whether metadata and credentials may be persisted, and the most e-mail
// addresses one recipient look-up sends. One value lives in the global state; it is read from
// a policy that may name only some members (the others stay as they are).
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class SatellitePolicy : public Record<SatellitePolicy> {
public:
    std::string version;
    int32_t offline_access_hours = 24;
    int32_t ma_credential_interval_minutes = 15;
    // Key permissions: 0x1 create keys and encrypt with the user's own keys, 0x2 encrypt with the
    // personal key, 0x8 encrypt with other users' keys, 0x10 delete keys.
    int32_t skey_flag = 11;
    bool persist_metadata = true;
    bool persist_credentials = true;
    int32_t recipients_lookup_max = 25;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<SatellitePolicy>& schema();
    // The version text.
    std::string idstr() const override;
    // Always empty: the policy is not kept in a list.
    std::string geturn() const override;
};

} // namespace VxMeta
