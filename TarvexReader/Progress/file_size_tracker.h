// The bytes done and due of one file, or of the whole archive, while it is extracted.
#pragma once

#include <cstdint>

namespace TarvexReader {

struct FileSizeTracker {
    std::uint64_t currentSize = 0;
    std::uint64_t maxSize = 0;
};

} // namespace TarvexReader
