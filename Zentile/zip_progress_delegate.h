// The progress delegate: the engine reports the begin, progress and end of each phase and item of an
// action through it, on the thread that called the action, and reads back whether to go on.
#pragma once

#include <any>
#include <cstdint>
#include <optional>
#include <string>

namespace Zentile {

// Progress types the engine reports.
enum ZIPProgressType : std::uint32_t {
    ZIPProgressBytes = 5,         // bytes of the file being extracted (item: its path; current, maximum)
    ZIPProgressLoading = 10,      // opening the archive (item: the archive's name; progress: entries
                                  //   read so far out of all, parameter: the entry's path)
    ZIPProgressExtraction = 12,   // extraction of the whole action (item: the archive's name)
    ZIPProgressFile = 13,         // extraction of one file (item: its path; end result: a ZIPErrorCode)
    ZIPProgressArchiveSize = 42,  // begin only: the total uncompressed size of the files to extract
};

// Answers of the progress callbacks.
enum ZIPProgressAnswer : std::uint32_t {
    ZIPProgressContinue = 0,
    ZIPProgressCancel = 4,
};

class ZIPProgressDelegate {
public:
    virtual ~ZIPProgressDelegate() = default;

    virtual std::uint32_t onBeginWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                          const std::optional<std::string>& parameter,
                                          std::uint64_t maxSize) = 0;
    virtual std::uint32_t onProgressWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                             const std::optional<std::string>& parameter,
                                             std::uint64_t currentSize, std::uint64_t maxSize) = 0;
    virtual std::uint32_t onEndWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                        const std::optional<std::string>& parameter,
                                        std::uint32_t result) = 0;
    // Hands the delegate an object about an item; this engine never calls it.
    virtual void setObject(const std::any& object, std::uint32_t type,
                           const std::optional<std::string>& item, std::uint32_t progress) = 0;
};

} // namespace Zentile
