// SiteData: the site-wide settings the service's administrators set (audit log, polling interval),
// with their change tag and the service's signature. Parsing only; the signature is checked by the
// synchronization.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <json/value.h>

namespace TarvexProtocol {

class SiteData {
public:
    SiteData(std::string updated_at, int64_t gtag, bool auditLogEnabled, bool auditLogArchiveNonEncrypted,
             bool auditLogForensic, bool auditLogArchiveCopy, int64_t auditLogTarget, std::string auditLogToken,
             std::string auditLogUrl, int64_t pollingInterval, std::string signature);
    SiteData(const SiteData&) = default;

    // Never null; no member is required. A value that is not an object or null, or a member that
    // cannot convert, is a VXMECAT_PROTOCOL failure.
    static std::shared_ptr<SiteData> fromJson(const Json::Value& value);

    std::string updated_at;
    int64_t gtag;
    bool auditLogEnabled;
    bool auditLogArchiveNonEncrypted;
    bool auditLogForensic;
    bool auditLogArchiveCopy;
    int64_t auditLogTarget;
    std::string auditLogToken;
    std::string auditLogUrl;
    int64_t pollingInterval;
    std::string signature;
};

using SiteDataPtr = std::shared_ptr<SiteData>;

} // namespace TarvexProtocol
