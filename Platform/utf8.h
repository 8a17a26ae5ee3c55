// The check that bytes are well-formed UTF-8 text, for data read from outside (archives, the secret
// store, key-service records): no overlong forms, no surrogates, nothing above U+10FFFF.
#pragma once

#include <string_view>

namespace Platform {

bool isValidUtf8(std::string_view bytes);

} // namespace Platform
