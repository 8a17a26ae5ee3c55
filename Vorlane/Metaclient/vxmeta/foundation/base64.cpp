#include "vxmeta/foundation/base64.h"

namespace VxMeta {

const std::string base64_chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
} // namespace

bool is_base64(unsigned char c) { return sextet(c) >= 0; }

std::string base64_encode(const unsigned char* bytes, size_t length) {
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        uint32_t group = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back(kAlphabet[group & 0x3F]);
    }
    const size_t left = length - i;
    if (left > 0) {
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (left == 2) group |= uint32_t{bytes[i + 1]} << 8;
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(left == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

std::string base64_encode(const std::string& bytes) {
    return base64_encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string base64_decode(const std::string& text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    uint32_t group = 0;
    int count = 0;
    for (unsigned char c : text) {
        const int value = sextet(c);
        if (value < 0) break; // "=", or any character outside the alphabet, ends the data
        group = (group << 6) | static_cast<uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<char>((group >> 16) & 0xFF));
            out.push_back(static_cast<char>((group >> 8) & 0xFF));
            out.push_back(static_cast<char>(group & 0xFF));
            group = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out.push_back(static_cast<char>((group >> 4) & 0xFF));
    } else if (count == 3) {
        out.push_back(static_cast<char>((group >> 10) & 0xFF));
        out.push_back(static_cast<char>((group >> 2) & 0xFF));
    }
    return out;
}

} // namespace VxMeta
