#include "TarvexReader/Progress/reporting_zip_progress_delegate.h"

#include <utility>

namespace TarvexReader {

namespace {
bool isWarningType(std::uint32_t progress) {
    switch (progress) {
    case 16:
    case 18:
    case 19:
    case 20:
    case 21:
    case 50:
        return true;
    default:
        return false;
    }
}

bool isFileType(std::uint32_t progress) {
    return progress == Zentile::ZIPProgressFile || progress == 15;
}
} // namespace

ReportingZIPProgressDelegate::ReportingZIPProgressDelegate(std::shared_ptr<Zentile::ZIPProgressDelegate> delegate)
    : delegate_(std::move(delegate)) {}

std::uint32_t ReportingZIPProgressDelegate::onBeginWithItem(const std::optional<std::string>& item,
                                                            std::uint32_t progress,
                                                            const std::optional<std::string>& parameter,
                                                            std::uint64_t maxSize) {
    return delegate_->onBeginWithItem(item, progress, parameter, maxSize);
}

std::uint32_t ReportingZIPProgressDelegate::onProgressWithItem(const std::optional<std::string>& item,
                                                               std::uint32_t progress,
                                                               const std::optional<std::string>& parameter,
                                                               std::uint64_t currentSize, std::uint64_t maxSize) {
    return delegate_->onProgressWithItem(item, progress, parameter, currentSize, maxSize);
}

std::uint32_t ReportingZIPProgressDelegate::onEndWithItem(const std::optional<std::string>& item,
                                                          std::uint32_t progress,
                                                          const std::optional<std::string>& parameter,
                                                          std::uint32_t result) {
    if (isWarningType(progress)) {
        if (result != 0) {
            ++warnings_;
        }
    } else if (isFileType(progress)) {
        ++total_;
        if (result != 0) {
            ++errors_;
        }
    }
    return delegate_->onEndWithItem(item, progress, parameter, result);
}

void ReportingZIPProgressDelegate::setObject(const std::any& /*object*/, std::uint32_t /*type*/,
                                             const std::optional<std::string>& /*item*/,
                                             std::uint32_t /*progress*/) {}

} // namespace TarvexReader
