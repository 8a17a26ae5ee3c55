// Byte counts as people read them: "1 byte", "1,023 bytes", "4 GB" (whole units, the number grouped
// as the user's locale groups it).
#pragma once

#include <cstdint>
#include <string>

namespace TarvexReader {

class FileSizeTranslator {
public:
    static std::string humanReadableWithSpaceUsedInBytes(std::uint64_t bytes);
};

} // namespace TarvexReader
