// Persists: this device's own client state (contact times, offline and credential-check limits,
// server prefixes and key, the last site document and its settings, the locker configuration,
// the cluster information, MFA certificate settings). Kept in the local store, never sent.
#pragma once

#include <cstdint>
#include <string>

#include <json/value.h>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Persists : public Record<Persists> {
public:
    int64_t extStatsNextSendTime = 0;
    int64_t lastOnlineTime = 0;
    int64_t lastManagedLoginTime = 0;
    int32_t offline_access_hours = 0;
    int32_t ma_credential_interval_minutes = 0;
    std::string terminal_extra;
    std::string cmdsPrefix;
    std::string setPrefix;
    std::string mdsPubkey;
    std::string siteData;
    int64_t gtag = 0;
    int32_t pollingInterval = 60;
    bool auditLogEnabled = false;
    bool auditLogArchiveNonEncrypted = false;
    bool auditLogArchiveCopy = false;
    int32_t auditLogTarget = 0;
    std::string auditLogToken;
    std::string auditLogUrl;
    bool lockerActive = false;
    int32_t ltag = 0;
    int32_t lastGroupTag = 0;
    std::string lockerConfig;
    Json::Value clusterInfo;
    Json::Value mfaCertificateBlacklists;
    Json::Value pkcs11Config;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<Persists>& schema();
    std::string idstr() const override;
    // Empty, so the record is stored as "persists-".
    std::string geturn() const override;
};

} // namespace VxMeta
