// Byte and text buffers that hold secrets: they are overwritten before their memory is released, so a
// password read from or written to the secret store does not linger in freed memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TarvexReader {

// Overwrites every byte the string owns (its whole capacity, the short-string buffer included) and
// leaves it empty.
void wipeText(std::string& text);

class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(std::string_view text);
    SecretBytes(const std::uint8_t* data, std::size_t size);
    SecretBytes(const SecretBytes& other);
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(const SecretBytes& other);
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    ~SecretBytes();

    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    std::string_view view() const;

    bool operator==(const SecretBytes& other) const { return bytes_ == other.bytes_; }

private:
    void wipe();

    std::vector<std::uint8_t> bytes_;
};

} // namespace TarvexReader
