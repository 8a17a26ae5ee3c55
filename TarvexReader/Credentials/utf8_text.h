// Internal to the credential store: value data read back as UTF-8 text.
#pragma once

#include "TarvexReader/Credentials/secret_bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace TarvexReader {

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isUtf8(std::string_view bytes);

// The data as text, or nothing when it is not UTF-8.
std::optional<std::string> utf8Text(const SecretBytes& data);

} // namespace TarvexReader
