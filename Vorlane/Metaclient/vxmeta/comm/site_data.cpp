#include "vxmeta/comm/site_data.h"

#include "vxmeta/comm/document_fields.h"

namespace TarvexProtocol {

namespace {
constexpr char kWhat[] = "Site data";
}

SiteData::SiteData(std::string updatedAt, int64_t tag, bool enabled, bool archiveNonEncrypted, bool forensic,
                   bool archiveCopy, int64_t target, std::string token, std::string url, int64_t interval,
                   std::string sig)
    : updated_at(std::move(updatedAt)), gtag(tag), auditLogEnabled(enabled),
      auditLogArchiveNonEncrypted(archiveNonEncrypted), auditLogForensic(forensic), auditLogArchiveCopy(archiveCopy),
      auditLogTarget(target), auditLogToken(std::move(token)), auditLogUrl(std::move(url)),
      pollingInterval(interval), signature(std::move(sig)) {}

std::shared_ptr<SiteData> SiteData::fromJson(const Json::Value& value) {
    using VxMeta::documentBool;
    using VxMeta::documentInt64;
    using VxMeta::documentText;
    // Read in the order of the members (the arguments of a constructor call are not ordered).
    std::string updatedAt = documentText(value, "updated_at", kWhat);
    int64_t gtag = documentInt64(value, "gtag", kWhat);
    bool enabled = documentBool(value, "auditLogEnabled", kWhat);
    bool archiveNonEncrypted = documentBool(value, "auditLogArchiveNonEncrypted", kWhat);
    bool forensic = documentBool(value, "auditLogForensic", kWhat);
    bool archiveCopy = documentBool(value, "auditLogArchiveCopy", kWhat);
    int64_t target = documentInt64(value, "auditLogTarget", kWhat);
    std::string token = documentText(value, "auditLogToken", kWhat);
    std::string url = documentText(value, "auditLogUrl", kWhat);
    int64_t interval = documentInt64(value, "pollingInterval", kWhat);
    std::string signature = documentText(value, "signature", kWhat);
    return std::make_shared<SiteData>(std::move(updatedAt), gtag, enabled, archiveNonEncrypted, forensic, archiveCopy,
                                      target, std::move(token), std::move(url), interval, std::move(signature));
}

} // namespace TarvexProtocol
