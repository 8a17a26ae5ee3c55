// The engine's progress callbacks turned into events of the archive's progress window: the begin and
// end of loading and extraction, each file, and the bytes done across the archive. Every answer is
// "stop" (4) once the user has cancelled, else "go on" (0). Called on the extraction thread only.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "TarvexReader/Progress/file_size_tracker.h"
#include "TarvexReader/Progress/progress_events.h"
#include "Zentile/zip_error.h"
#include "Zentile/zip_progress_delegate.h"

namespace TarvexReader {

class AdaptingZIPProgressDelegate : public Zentile::ZIPProgressDelegate {
public:
    AdaptingZIPProgressDelegate(std::shared_ptr<ExtractProgressDisplayer> displayer, std::string archiveName);

    std::uint32_t onBeginWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                  const std::optional<std::string>& parameter, std::uint64_t maxSize) override;
    std::uint32_t onProgressWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                     const std::optional<std::string>& parameter, std::uint64_t currentSize,
                                     std::uint64_t maxSize) override;
    std::uint32_t onEndWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                const std::optional<std::string>& parameter, std::uint32_t result) override;
    void setObject(const std::any& object, std::uint32_t type, const std::optional<std::string>& item,
                   std::uint32_t progress) override;

    const std::shared_ptr<ExtractProgressDisplayer>& progressDisplayer() const { return progressDisplayer_; }
    const std::string& archiveName() const { return archiveName_; }
    const std::optional<FileSizeTracker>& archiveSizeTracker() const { return archiveSizeTracker_; }

private:
    std::shared_ptr<ExtractProgressDisplayer> progressDisplayer_;
    std::string archiveName_;
    std::optional<FileSizeTracker> archiveSizeTracker_;
    std::map<std::string, FileSizeTracker> fileSizeTrackers_;
};

} // namespace TarvexReader
