#include "TarvexReader/Progress/adapting_zip_progress_delegate.h"

#include <utility>

namespace TarvexReader {

namespace {
constexpr std::uint32_t kGoOn = 0;
constexpr std::uint32_t kStop = 4;

std::uint32_t answer(bool cancelled) {
    return cancelled ? kStop : kGoOn;
}
} // namespace

AdaptingZIPProgressDelegate::AdaptingZIPProgressDelegate(std::shared_ptr<ExtractProgressDisplayer> displayer,
                                                         std::string archiveName)
    : progressDisplayer_(std::move(displayer)), archiveName_(std::move(archiveName)) {}

std::uint32_t AdaptingZIPProgressDelegate::onBeginWithItem(const std::optional<std::string>& item,
                                                           std::uint32_t progress,
                                                           const std::optional<std::string>& /*parameter*/,
                                                           std::uint64_t maxSize) {
    switch (progress) {
    case Zentile::ZIPProgressLoading:
        return answer(progressDisplayer_->displayEvent(ProcessingEvent::loading(ItemTypes::archive(archiveName_))));
    case Zentile::ZIPProgressExtraction:
        return answer(
            progressDisplayer_->displayEvent(ProcessingEvent::extracting(ItemTypes::archive(archiveName_))));
    case Zentile::ZIPProgressFile: {
        const std::string name = item.value_or(std::string());
        fileSizeTrackers_[name] = FileSizeTracker{0, maxSize};
        return answer(progressDisplayer_->displayEvent(ProcessingEvent::extracting(ItemTypes::file(name))));
    }
    case Zentile::ZIPProgressArchiveSize:
        archiveSizeTracker_ = FileSizeTracker{0, maxSize == 0 ? 1 : maxSize};
        return kGoOn;
    default:
        return kGoOn;
    }
}

std::uint32_t AdaptingZIPProgressDelegate::onProgressWithItem(const std::optional<std::string>& item,
                                                              std::uint32_t progress,
                                                              const std::optional<std::string>& parameter,
                                                              std::uint64_t currentSize, std::uint64_t maxSize) {
    switch (progress) {
    case Zentile::ZIPProgressBytes: {
        auto tracker = fileSizeTrackers_.find(item.value_or(std::string()));
        if (tracker == fileSizeTrackers_.end() || !archiveSizeTracker_) {
            // A file whose begin never came, or bytes before the archive's size: nothing to show.
            return answer(progressDisplayer_->displayProgress(
                ProcessingEvent::extracting(ItemTypes::archive(archiveName_)), 0, 0));
        }
        const std::uint64_t before = tracker->second.currentSize;
        tracker->second.currentSize = currentSize;
        archiveSizeTracker_->currentSize += currentSize - before;
        return answer(progressDisplayer_->displayProgress(ProcessingEvent::extracting(ItemTypes::file(tracker->first)),
                                                          archiveSizeTracker_->currentSize,
                                                          archiveSizeTracker_->maxSize));
    }
    case Zentile::ZIPProgressLoading:
        return answer(progressDisplayer_->displayProgress(
            ProcessingEvent::loading(ItemTypes::file(parameter.value_or(std::string()))), currentSize, maxSize));
    default:
        return kGoOn;
    }
}

std::uint32_t AdaptingZIPProgressDelegate::onEndWithItem(const std::optional<std::string>& item,
                                                         std::uint32_t progress,
                                                         const std::optional<std::string>& /*parameter*/,
                                                         std::uint32_t result) {
    switch (progress) {
    case Zentile::ZIPProgressFile: {
        const std::string name = item.value_or(std::string());
        auto tracker = fileSizeTrackers_.find(name);
        if (tracker != fileSizeTrackers_.end() && archiveSizeTracker_ &&
            tracker->second.maxSize > tracker->second.currentSize) {
            archiveSizeTracker_->currentSize += tracker->second.maxSize - tracker->second.currentSize;
        }
        progressDisplayer_->displayEventEnd(ProcessingEvent::extracting(ItemTypes::file(name)));
        if (tracker != fileSizeTrackers_.end()) {
            fileSizeTrackers_.erase(tracker);
        }
        const std::uint64_t current = archiveSizeTracker_ ? archiveSizeTracker_->currentSize : 0;
        const std::uint64_t maximum = archiveSizeTracker_ ? archiveSizeTracker_->maxSize : 0;
        return answer(progressDisplayer_->displayProgress(
            ProcessingEvent::extracting(ItemTypes::archive(archiveName_)), current, maximum));
    }
    case Zentile::ZIPProgressExtraction:
        return answer(
            progressDisplayer_->displayEventEnd(ProcessingEvent::extracting(ItemTypes::archive(archiveName_))));
    case Zentile::ZIPProgressLoading:
        if (result == Zentile::ZIPErrorCancelled) {
            // A cancelled opening ends here: the window closes.
            progressDisplayer_->displayEventEnd(ProcessingEvent::extracting(ItemTypes::archive(archiveName_)));
            return kGoOn;
        }
        return answer(progressDisplayer_->displayEventEnd(ProcessingEvent::loading(ItemTypes::archive(archiveName_))));
    default:
        return kGoOn;
    }
}

void AdaptingZIPProgressDelegate::setObject(const std::any& /*object*/, std::uint32_t /*type*/,
                                            const std::optional<std::string>& /*item*/, std::uint32_t /*progress*/) {}

} // namespace TarvexReader
