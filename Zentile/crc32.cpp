#include "Zentile/crc32.h"

#include <array>
#include <isa-l/crc.h>

namespace Zentile {
namespace {

// The library inverts the register before and after, so starting from all ones and inverting its answer
// leaves the raw step.
std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        auto byte = static_cast<unsigned char>(n);
        table[n] = ~crc32_gzip_refl(0xFFFFFFFFu, &byte, 1);
    }
    return table;
}

} // namespace

std::uint32_t crc32(std::uint32_t crc, const unsigned char* data, std::size_t length) {
    return crc32_gzip_refl(crc, data, length);
}

const std::array<std::uint32_t, 256>& crc32Table() {
    static const std::array<std::uint32_t, 256> table = makeTable();
    return table;
}

} // namespace Zentile
