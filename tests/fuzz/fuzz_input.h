// What the fuzz targets share: one input cut into parts, and the limit that keeps runs fast: "V2-"
// texts naming more rounds than a fuzz run can afford per input are passed over (the readers refuse
// counts far above any the service uses, but a count they take may still cost seconds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <json/value.h>

namespace VxMetaFuzz {

// Separates the parts of one input (one reply's status, headers and body; a key and a text).
inline constexpr char kPart = '\x1f';
// Separates whole replies in the input of the reply rules.
inline constexpr char kReply = '\x1e';

// Largest "V2-" round count the targets pass on: each round is a PBKDF2 iteration of every run.
inline constexpr long long kMaxRounds = 2000;

inline std::string text(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

// The parts of text between separators; at most maxParts, the last one taking the rest.
inline std::vector<std::string> split(const std::string& text, char separator, size_t maxParts) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        const size_t at = text.find(separator, start);
        if (at == std::string::npos) break;
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The part at index, empty when there are fewer.
inline const std::string& part(const std::vector<std::string>& parts, size_t index) {
    static const std::string none;
    return index < parts.size() ? parts[index] : none;
}

// True when text holds "V2-" followed by two '-'-separated fields the second of which is a run of
// digits naming more than kMaxRounds (wherever it starts: texts are nested in JSON and headers).
inline bool namesManyRounds(const std::string& text) {
    for (size_t at = text.find("V2-"); at != std::string::npos; at = text.find("V2-", at + 1)) {
        const size_t salt = at + 3;
        const size_t dash = text.find('-', salt);
        if (dash == std::string::npos) return false;
        long long rounds = 0;
        for (size_t i = dash + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            rounds = rounds * 10 + (text[i] - '0');
            if (rounds > kMaxRounds) return true;
        }
    }
    return false;
}

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
inline bool isUtf8(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length;
        uint32_t point;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            point = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            point = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            point = c & 0x07;
        } else {
            return false;
        }
        if (i + length > n) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto follow = static_cast<unsigned char>(text[i + k]);
            if ((follow & 0xC0) != 0x80) return false;
            point = (point << 6) | (follow & 0x3F);
        }
        if ((length == 3 && point < 0x800) || (length == 4 && point < 0x10000) || point > 0x10FFFF ||
            (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// Whether every text and member name inside value is well-formed UTF-8.
inline bool textsAreUtf8(const Json::Value& value) {
    if (value.isString()) return isUtf8(value.asString());
    if (value.isArray()) {
        for (const Json::Value& element : value) {
            if (!textsAreUtf8(element)) return false;
        }
    } else if (value.isObject()) {
        for (auto member = value.begin(); member != value.end(); ++member) {
            if (!isUtf8(member.name()) || !textsAreUtf8(*member)) return false;
        }
    }
    return true;
}

} // namespace VxMetaFuzz
