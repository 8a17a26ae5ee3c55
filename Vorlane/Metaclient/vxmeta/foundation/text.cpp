#include "vxmeta/foundation/text.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

std::vector<std::string> splitParts(const std::string& text, const char* separators) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find_first_of(separators, start);
        if (at == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

namespace {
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
} // namespace

std::string canocase(const std::string& text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

bool eq(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

bool startswith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0 && text.size() >= std::strlen(prefix);
}

bool endswith(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

std::string trim(const std::string& text) {
    static constexpr char kWhite[] = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(kWhite);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kWhite) - first + 1);
}

namespace {

bool matchesPrefix(const std::string& text, const std::string& prefix) {
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (prefix[i] == '+') return true;
        if (i >= text.size()) return false;
        if (std::tolower(static_cast<unsigned char>(prefix[i])) != std::tolower(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

} // namespace

bool matchPrefixList(const std::string& text, const std::string& prefixList) {
    if (prefixList.find_first_not_of(' ') == std::string::npos) return true;
    for (const std::string& item : splitParts(prefixList, ",")) {
        const size_t first = item.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        if (matchesPrefix(text, item.substr(first, item.find_last_not_of(' ') - first + 1))) return true;
    }
    return false;
}

std::string Fmt(const char* format, const std::string& text) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(nullptr, 0, format, text.c_str());
    if (n < 0) return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, text.c_str());
#pragma GCC diagnostic pop
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string todayYMD() {
    std::time_t now = static_cast<std::time_t>(nowSeconds());
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &local);
    return std::string(buffer, n);
}

std::string querySuffix(const std::string& name, const std::string& value) {
    return "?" + name + "=" + urlencode(value);
}

std::string querySuffix(const std::string& name, int64_t value) {
    return "?" + name + "=" + std::to_string(value);
}

std::string querySuffix2(const std::string& name, const std::string& value) {
    return "&" + name + "=" + urlencode(value);
}

std::string querySuffix2(const std::string& name, int64_t value) {
    return "&" + name + "=" + std::to_string(value);
}

std::string qualifySuffix(const std::string& path, const std::string& name, const std::string& value) {
    return path + "?" + name + "=" + urlencode(value);
}

std::string urlencode(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if (c == ' ') {
            out.push_back('+');
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                   c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 0x0F]);
        }
    }
    return out;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 0x0F]);
    }
    return out;
}

namespace {
// The value of one hexadecimal digit, or -1.
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

std::string unhex(const std::string& text, size_t minDigits, const std::string& category, const std::string& message) {
    if (text.size() < minDigits || text.size() % 2 != 0) throw VxMetaException(category, message);
    std::string out;
    out.reserve(text.size() / 2);
    for (size_t at = 0; at < text.size(); at += 2) {
        const int high = hexDigit(text[at]);
        const int low = hexDigit(text[at + 1]);
        if (high < 0 || low < 0) throw VxMetaException(category, message);
        out.push_back(static_cast<char>((high << 4) | low));
    }
    return out;
}

std::string urnsafe(const std::string& text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '/') c = ',';
    }
    return out;
}

std::string urnxsafe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\0': return out;
        case '%': out += "%%"; break;
        case '/': out += ','; break;
        case '\\': out += "%b"; break;
        case '?': out += "%q"; break;
        case '*': out += "%a"; break;
        case '-': out += "%h"; break;
        case '|': out += "%v"; break;
        case ':': out += "%c"; break;
        case '<': out += "%l"; break;
        case '>': out += "%g"; break;
        case '"': out += "%d"; break;
        case '\'': out += "%s"; break;
        default: out += c; break;
        }
    }
    return out;
}

bool isValidUtf8(const char* begin, const char* end) {
    const auto* p = reinterpret_cast<const unsigned char*>(begin);
    const auto* const stop = reinterpret_cast<const unsigned char*>(end);
    while (p < stop) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        // The lead byte gives the length and the range its first continuation byte must fall in
        // (which excludes overlong forms, surrogates and values above U+10FFFF).
        int length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (stop - p < length) return false;
        if (p[1] < low || p[1] > high) return false;
        for (int i = 2; i < length; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        }
        p += length;
    }
    return true;
}

bool isValidUtf8(const std::string& text) { return isValidUtf8(text.data(), text.data() + text.size()); }

std::string checkPrefix(const std::string& text, const std::string& tag) {
    const size_t dash = text.find('-');
    const std::string first = text.substr(0, dash);
    if (dash != std::string::npos) {
        if (first == tag) return text.substr(dash + 1);
        if (first > tag) {
            throw VxMetaException(VXMECAT_UPGRADE,
                                  "Unsupported data format encountered - possible upgrade required");
        }
    }
    // No hyphen at all (the tag alone included) is invalid data.
    throw VxMetaException(VXMECAT_INTERNAL, Fmt("Invalid data encountered %.30s...", text));
}

} // namespace VxMeta
