#include "Zentile/entry_name.h"

namespace Zentile {
namespace {

// Code page 437, bytes 0x80 to 0xFF.
constexpr char32_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

} // namespace

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string decodeEntryName(std::string_view raw, bool utf8Flag, std::uint8_t hostSystem) {
    constexpr std::uint8_t kHostMsDos = 0;
    if (isValidUtf8(raw) && (utf8Flag || hostSystem != kHostMsDos)) {
        return std::string(raw);
    }
    std::string out;
    out.reserve(raw.size() * 2);
    for (char ch : raw) {
        auto b = static_cast<unsigned char>(ch);
        appendUtf8(out, b < 0x80 ? char32_t{b} : kCp437High[b - 0x80]);
    }
    return out;
}

std::optional<std::vector<std::string>> safeRelativePath(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    if (name.front() == '/' || name.front() == '\\') {
        return std::nullopt;
    }
    if (name.size() >= 2 && isAsciiLetter(name[0]) && name[1] == ':') {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::string current;
    auto flush = [&]() -> bool {
        if (current.empty() || current == ".") {
        } else if (current == "..") {
            if (parts.empty()) {
                return false;
            }
            parts.pop_back();
        } else {
            parts.push_back(current);
        }
        current.clear();
        return true;
    };
    for (char c : name) {
        if (c == '/' || c == '\\') {
            if (!flush()) {
                return std::nullopt;
            }
        } else {
            current.push_back(c);
        }
    }
    if (!flush() || parts.empty()) {
        return std::nullopt;
    }
    return parts;
}

bool linkTargetStaysInside(const std::vector<std::string>& entryComponents, std::string_view target) {
    if (target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos) {
        return false;
    }
    if (target.size() >= 2 && isAsciiLetter(target[0]) && target[1] == ':') {
        return false;
    }
    // Depth of the folder holding the link, then walk the target from there. A ".." after a plain
    // component is refused: that component may itself be a link, so the walk could not be checked on
    // the names alone.
    std::size_t depth = entryComponents.empty() ? 0 : entryComponents.size() - 1;
    std::string current;
    bool descended = false;
    auto step = [&]() -> bool {
        if (current == "..") {
            if (depth == 0 || descended) {
                return false;
            }
            --depth;
        } else if (!current.empty() && current != ".") {
            ++depth;
            descended = true;
        }
        current.clear();
        return true;
    };
    for (char c : target) {
        if (c == '/') {
            if (!step()) {
                return false;
            }
        } else {
            current.push_back(c);
        }
    }
    return step();
}

bool isSafeLeafName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool namesDestinationItself(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') {
        return false;
    }
    for (char c : name) {
        if (c != '.' && c != '/' && c != '\\') {
            return false;
        }
    }
    return name.find("..") == std::string_view::npos;
}

} // namespace Zentile
