#include "Zentile/traditional_cipher.h"

namespace Zentile {

void TraditionalDecryptor::update(std::uint8_t plain) {
    key0_ = crcStep(key0_, plain);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1u;
    key2_ = crcStep(key2_, static_cast<std::uint8_t>(key1_ >> 24));
}

std::uint8_t TraditionalDecryptor::start(const std::string& password, const unsigned char* header) {
    key0_ = 0x12345678;
    key1_ = 0x23456789;
    key2_ = 0x34567890;
    for (char c : password) {
        update(static_cast<std::uint8_t>(c));
    }
    unsigned char copy[kHeaderLength];
    for (std::size_t i = 0; i < kHeaderLength; ++i) {
        copy[i] = header[i];
    }
    decrypt(copy, kHeaderLength);
    return copy[kHeaderLength - 1];
}

void TraditionalDecryptor::decrypt(unsigned char* data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        std::uint32_t temp = (key2_ | 2u) & 0xFFFFu;
        auto plain = static_cast<std::uint8_t>(data[i] ^ static_cast<std::uint8_t>((temp * (temp ^ 1u)) >> 8));
        data[i] = plain;
        update(plain);
    }
}

} // namespace Zentile
