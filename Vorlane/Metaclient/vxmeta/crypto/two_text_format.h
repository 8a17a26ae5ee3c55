// Fmt with two texts: printf-style formatting of two text arguments into a format holding two
// directives, by the same rules as the one-text form of foundation/text.h; and a text with an
// integer, the integer written in decimal and taken by the second "%s"; and one integer, written
// in decimal and taken by the one "%s".
#pragma once

#include <string>

namespace VxMeta {

std::string Fmt(const char* format, const std::string& first, const std::string& second);
std::string Fmt(const char* format, const std::string& text, int number);
std::string Fmt(const char* format, int number);

} // namespace VxMeta
