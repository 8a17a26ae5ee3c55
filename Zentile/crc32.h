// The CRC-32 of ZIP entries and names (the reflected IEEE polynomial, as zip computes it), through
// ISA-L's vectorised code, and the same CRC's byte table, which the traditional cipher's keys step by.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace Zentile {

// Continues `crc` (0 to start) over `length` bytes.
std::uint32_t crc32(std::uint32_t crc, const unsigned char* data, std::size_t length);

// The byte table: entry n is the raw register (no inversion before or after) after stepping over byte n
// from zero, so one step is (reg >> 8) ^ table[(reg ^ byte) & 0xFF].
const std::array<std::uint32_t, 256>& crc32Table();

} // namespace Zentile
