// The outcome of one archive: its name, where it went and the counts the notification reports
// (errors never exceed total); or, when the archive failed as a whole, the error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/error.h"

namespace TarvexReader {

struct ExtractionResult {
    std::string name;
    std::string location;
    std::uint64_t total = 0;
    std::uint64_t warnings = 0;
    std::uint64_t errors = 0;

    bool operator==(const ExtractionResult&) const = default;
};

// What an archive's promise settles with: a result, or else the error.
struct ExtractionOutcome {
    std::optional<ExtractionResult> result;
    Platform::Error error;
};

} // namespace TarvexReader
