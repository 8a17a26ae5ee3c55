#include "Platform/utf8.h"

#include <cstddef>

namespace Platform {

namespace {

// The bytes at `i` taken as one character: how many bytes it spans and whether it is well-formed. A
// malformed character spans its longest start that could still have begun a well-formed one (at
// least one byte), so a repair replaces each such run by one replacement character.
struct Sequence {
    std::size_t length;
    bool valid;
};

Sequence sequenceAt(std::string_view bytes, std::size_t i) {
    auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return {1, true};
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return {1, false};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= bytes.size()) {
            return {k, false};
        }
        auto next = static_cast<unsigned char>(bytes[i + k]);
        unsigned char min = k == 1 ? low : 0x80;
        unsigned char max = k == 1 ? high : 0xBF;
        if (next < min || next > max) {
            return {k, false};
        }
    }
    return {length, true};
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        Sequence sequence = sequenceAt(bytes, i);
        if (!sequence.valid) {
            return false;
        }
        i += sequence.length;
    }
    return true;
}

std::string repairedUtf8(std::string_view bytes) {
    std::string repaired;
    repaired.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        Sequence sequence = sequenceAt(bytes, i);
        if (sequence.valid) {
            repaired.append(bytes.substr(i, sequence.length));
        } else {
            repaired.append("\xEF\xBF\xBD");
        }
        i += sequence.length;
    }
    return repaired;
}

} // namespace Platform
