#include "vxmeta/crypto/two_text_format.h"

#include <cstdio>
#include <string>

#include "vxmeta/foundation/text.h"

namespace VxMeta {

std::string Fmt(const char* format, const std::string& first, const std::string& second) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(nullptr, 0, format, first.c_str(), second.c_str());
    if (n < 0) return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, first.c_str(), second.c_str());
#pragma GCC diagnostic pop
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Fmt(const char* format, const std::string& text, int number) {
    return Fmt(format, text, std::to_string(number));
}

std::string Fmt(const char* format, int number) { return Fmt(format, std::to_string(number)); }

} // namespace VxMeta
