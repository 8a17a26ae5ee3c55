// Fmt with two texts: printf-style formatting of two text arguments into a format holding two
// directives, by the same rules as the one-text form of foundation/text.h.
#pragma once

#include <string>

namespace VxMeta {

std::string Fmt(const char* format, const std::string& first, const std::string& second);

} // namespace VxMeta
