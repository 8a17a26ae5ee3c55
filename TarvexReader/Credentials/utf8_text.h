// Internal to the credential store: value data read back as UTF-8 text.
#pragma once

#include "Platform/utf8.h"
#include "TarvexReader/Credentials/secret_bytes.h"

#include <optional>
#include <string>

namespace TarvexReader {

// The data as text, or nothing when it is not well-formed UTF-8.
inline std::optional<std::string> utf8Text(const SecretBytes& data) {
    if (!Platform::isValidUtf8(data.view())) {
        return std::nullopt;
    }
    return std::string(data.view());
}

} // namespace TarvexReader
