// VLAuditLogSender: hands a host's audit-log lines (one JSON event per text) to the library, which
// groups them into chunks of at most 250,000 bytes and 500 events and posts them to the key service.
// A library failure comes back as the framework's error; the library answers false without one when
// auditing is off or the lines could not be processed or sent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Platform/error.h"
#include "Vorlane/AuditLog/Adapters/ns2lib_string_array_adapter.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class VLAuditLogSender {
public:
    // The byte limit of one rendered chunk and the event limit of one chunk.
    static constexpr uint64_t kMaxChunkBytes = 250000;
    static constexpr uint32_t kMaxChunkEntries = 500;

    // With a converter from NS2LibStringArrayAdapter::getInstance.
    explicit VLAuditLogSender(std::shared_ptr<VorlaneWrapper> vorlaneWrapper);
    // With the given converter, or one from getInstance when none is given.
    VLAuditLogSender(std::shared_ptr<VorlaneWrapper> vorlaneWrapper, std::shared_ptr<NS2LibStringArrayAdapter> adapter);

    // True at once for no lines (the library is not called). Otherwise the library's answer for the
    // lines in their order; a library failure is stored in `error` (when given) and gives false. A
    // sender without a wrapper or API object sends nothing and answers false.
    bool sendAuditLogs(const std::vector<std::string>& logs, Platform::Error* error);

    const std::shared_ptr<NS2LibStringArrayAdapter>& adapter() const { return adapter_; }
    const std::shared_ptr<VorlaneWrapper>& vorlaneWrapper() const { return vorlaneWrapper_; }
    void setVorlaneWrapper(std::shared_ptr<VorlaneWrapper> vorlaneWrapper) { vorlaneWrapper_ = std::move(vorlaneWrapper); }

private:
    std::shared_ptr<NS2LibStringArrayAdapter> adapter_;
    std::shared_ptr<VorlaneWrapper> vorlaneWrapper_;
};

} // namespace VorlaneBridge
