#include "Vorlane/AuditLog/vl_audit_log_sender.h"

#include <utility>

#include "Vorlane/Errors/vorlane_error.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {

VLAuditLogSender::VLAuditLogSender(std::shared_ptr<VorlaneWrapper> vorlaneWrapper)
    : VLAuditLogSender(std::move(vorlaneWrapper), NS2LibStringArrayAdapter::getInstance()) {}

VLAuditLogSender::VLAuditLogSender(std::shared_ptr<VorlaneWrapper> vorlaneWrapper,
                                   std::shared_ptr<NS2LibStringArrayAdapter> adapter)
    : adapter_(adapter ? std::move(adapter) : NS2LibStringArrayAdapter::getInstance()),
      vorlaneWrapper_(std::move(vorlaneWrapper)) {}

bool VLAuditLogSender::sendAuditLogs(const std::vector<std::string>& logs, Platform::Error* error) {
    if (logs.empty()) return true;
    VxMeta::Vorlane* vorlane = vorlaneWrapper_ ? vorlaneWrapper_->vorlane() : nullptr;
    if (vorlane == nullptr) return false;
    const std::vector<std::string> lines = adapter_->convertNSStringArray(logs);
    try {
        return vorlane->sendAuditLogEntries(lines, kMaxChunkBytes, kMaxChunkEntries);
    } catch (const VxMeta::VxMetaException& failure) {
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
}

} // namespace VorlaneBridge
