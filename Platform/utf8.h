// The check that bytes are well-formed UTF-8 text, for data read from outside (archives, the secret
// store, key-service records): no overlong forms, no surrogates, nothing above U+10FFFF.
#pragma once

#include <string>
#include <string_view>

namespace Platform {

bool isValidUtf8(std::string_view bytes);

// The bytes with each malformed sequence replaced by U+FFFD (one per longest malformed start), for
// outside text that must be handed on as text; well-formed bytes come back unchanged.
std::string repairedUtf8(std::string_view bytes);

} // namespace Platform
