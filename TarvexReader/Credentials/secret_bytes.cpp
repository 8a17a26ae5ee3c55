#include "TarvexReader/Credentials/secret_bytes.h"

#include <cstring>
#include <string.h>
#include <utility>

namespace TarvexReader {

void wipeText(std::string& text) {
    // Growing to the capacity never reallocates, so the whole buffer the string owns is reachable.
    text.resize(text.capacity());
    ::explicit_bzero(text.data(), text.size());
    text.clear();
}

SecretBytes::SecretBytes(std::string_view text)
    : bytes_(reinterpret_cast<const std::uint8_t*>(text.data()),
             reinterpret_cast<const std::uint8_t*>(text.data()) + text.size()) {}

SecretBytes::SecretBytes(const std::uint8_t* data, std::size_t size) : bytes_(data, data + size) {}

SecretBytes::SecretBytes(const SecretBytes& other) = default;

SecretBytes::SecretBytes(SecretBytes&& other) noexcept : bytes_(std::move(other.bytes_)) {
    other.bytes_.clear();
}

SecretBytes& SecretBytes::operator=(const SecretBytes& other) {
    if (this != &other) {
        wipe();
        bytes_ = other.bytes_;
    }
    return *this;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
    if (this != &other) {
        wipe();
        bytes_ = std::move(other.bytes_);
        other.bytes_.clear();
    }
    return *this;
}

SecretBytes::~SecretBytes() { wipe(); }

std::string_view SecretBytes::view() const {
    return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
}

void SecretBytes::wipe() {
    if (bytes_.capacity() > 0) {
        ::explicit_bzero(bytes_.data(), bytes_.capacity());
    }
    bytes_.clear();
}

} // namespace TarvexReader
