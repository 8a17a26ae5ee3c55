// The key-service record of an encrypted entry, as the decryption delegate receives it.
#pragma once

#include <cstdint>
#include <vector>

namespace Zentile {

class ZIPKMS {
public:
    explicit ZIPKMS(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}

    // The record as UTF-8 JSON text (the archive key metadata, byte for byte as the archive holds it).
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

} // namespace Zentile
