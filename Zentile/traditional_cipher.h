// The traditional PKWARE cipher of ZIP entries. Its key schedule is defined over the CRC-32 byte table
// (crc32.h); the 12-byte header's last byte is the check byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Zentile/crc32.h"

namespace Zentile {

class TraditionalDecryptor {
public:
    static constexpr std::size_t kHeaderLength = 12;

    // Keys from the password, then decrypts the header; answers the header's check byte.
    std::uint8_t start(const std::string& password, const unsigned char* header);
    void decrypt(unsigned char* data, std::size_t length);

private:
    void update(std::uint8_t plain);
    std::uint32_t crcStep(std::uint32_t reg, std::uint8_t byte) const {
        return (reg >> 8) ^ crcTable_[(reg ^ byte) & 0xFF];
    }
    const std::uint32_t* crcTable_ = crc32Table().data();
    std::uint32_t key0_ = 0x12345678;
    std::uint32_t key1_ = 0x23456789;
    std::uint32_t key2_ = 0x34567890;
};

} // namespace Zentile
