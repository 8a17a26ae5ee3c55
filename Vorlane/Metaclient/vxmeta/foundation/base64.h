// Standard base64 (alphabet A-Z a-z 0-9 + /, "=" padding, no line breaks). Decoding never fails:
// it stops at the first "=" or at the first character outside the alphabet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace VxMeta {

extern const std::string base64_chars;

std::string base64_encode(const unsigned char* bytes, size_t length);
std::string base64_encode(const std::string& bytes);
// Appends the base64 text of the bytes to text (no intermediate copy of a large field).
void base64_append(std::string& text, const unsigned char* bytes, size_t length);
std::string base64_decode(std::string_view text);
bool is_base64(unsigned char c);

} // namespace VxMeta
