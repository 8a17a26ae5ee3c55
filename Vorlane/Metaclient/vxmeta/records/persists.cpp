#include "vxmeta/records/persists.h"

namespace VxMeta {

const RecordSchema<Persists>& Persists::schema() {
    static const RecordSchema<Persists> table{
        "persists",
        {
            field<&Persists::extStatsNextSendTime>("extStatsNextSendTime"),
            field<&Persists::lastOnlineTime>("lastOnlineTime"),
            field<&Persists::lastManagedLoginTime>("lastManagedLoginTime"),
            field<&Persists::offline_access_hours>("offline_access_hours"),
            field<&Persists::ma_credential_interval_minutes>("ma_credential_interval_minutes"),
            field<&Persists::terminal_extra>("terminal_extra"),
            field<&Persists::cmdsPrefix>("cmdsPrefix", WhenNotEmpty),
            field<&Persists::setPrefix>("setPrefix", WhenNotEmpty),
            field<&Persists::mdsPubkey>("mdsPubkey", WhenNotEmpty),
            field<&Persists::siteData>("siteData"),
            field<&Persists::gtag>("gtag"),
            field<&Persists::pollingInterval>("pollingInterval"),
            field<&Persists::auditLogEnabled>("auditLogEnabled"),
            field<&Persists::auditLogArchiveNonEncrypted>("auditLogArchiveNonEncrypted"),
            field<&Persists::auditLogArchiveCopy>("auditLogArchiveCopy"),
            field<&Persists::auditLogTarget>("auditLogTarget"),
            field<&Persists::auditLogToken>("auditLogToken"),
            field<&Persists::auditLogUrl>("auditLogUrl"),
            field<&Persists::lockerActive>("lockerActive"),
            field<&Persists::ltag>("ltag"),
            field<&Persists::lastGroupTag>("lastGroupTag"),
            field<&Persists::lockerConfig>("lockerConfig"),
            field<&Persists::clusterInfo>("clusterInfo"),
            field<&Persists::mfaCertificateBlacklists>("mfaCertificateBlacklists"),
            field<&Persists::pkcs11Config>("pkcs11Config"),
            field<&Persists::id>("id"),
        },
    };
    return table;
}

std::string Persists::idstr() const { return idStr(id); }

std::string Persists::geturn() const { return std::string(); }

} // namespace VxMeta
