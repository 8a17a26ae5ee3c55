#include "vxmeta/foundation/base64.h"

#include <cstring>

namespace VxMeta {

const std::string base64_chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct SextetTable {
    signed char value[256];
    constexpr SextetTable() : value() {
        for (int c = 0; c < 256; ++c) value[c] = -1;
        for (int v = 0; v < 64; ++v) value[static_cast<unsigned char>(kAlphabet[v])] = static_cast<signed char>(v);
    }
};
constexpr SextetTable kSextets;

// Two alphabet characters for each 12-bit value: a 3-byte group encodes with two look-ups.
struct PairTable {
    char pair[4096][2];
    constexpr PairTable() : pair() {
        for (int v = 0; v < 4096; ++v) {
            pair[v][0] = kAlphabet[v >> 6];
            pair[v][1] = kAlphabet[v & 0x3F];
        }
    }
};
constexpr PairTable kPairs;

int sextet(unsigned char c) { return kSextets.value[c]; }
} // namespace

bool is_base64(unsigned char c) { return sextet(c) >= 0; }

void base64_append(std::string& text, const unsigned char* bytes, size_t length) {
    const size_t start = text.size();
    text.resize(start + (length + 2) / 3 * 4, '=');
    char* to = text.data() + start;
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t group = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        std::memcpy(to, kPairs.pair[group >> 12], 2);
        std::memcpy(to + 2, kPairs.pair[group & 0xFFF], 2);
        to += 4;
    }
    const size_t left = length - i;
    if (left > 0) {
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (left == 2) group |= uint32_t{bytes[i + 1]} << 8;
        to[0] = kAlphabet[(group >> 18) & 0x3F];
        to[1] = kAlphabet[(group >> 12) & 0x3F];
        if (left == 2) to[2] = kAlphabet[(group >> 6) & 0x3F]; // the rest stays "="
    }
}

std::string base64_encode(const unsigned char* bytes, size_t length) {
    std::string out;
    base64_append(out, bytes, length);
    return out;
}

std::string base64_encode(const std::string& bytes) {
    return base64_encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string base64_decode(std::string_view text) {
    // The data ends at the first character outside the alphabet ("=" included).
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data());
    size_t valid = 0;
    while (valid < text.size() && sextet(in[valid]) >= 0) ++valid;

    const size_t groups = valid / 4;
    const size_t rest = valid % 4; // 1 gives nothing, 2 one byte, 3 two bytes
    std::string out(groups * 3 + (rest > 1 ? rest - 1 : 0), '\0');
    char* to = out.data();
    for (size_t g = 0; g < groups; ++g, in += 4, to += 3) {
        const uint32_t group = (static_cast<uint32_t>(sextet(in[0])) << 18) |
                               (static_cast<uint32_t>(sextet(in[1])) << 12) |
                               (static_cast<uint32_t>(sextet(in[2])) << 6) | static_cast<uint32_t>(sextet(in[3]));
        to[0] = static_cast<char>((group >> 16) & 0xFF);
        to[1] = static_cast<char>((group >> 8) & 0xFF);
        to[2] = static_cast<char>(group & 0xFF);
    }
    if (rest >= 2) {
        uint32_t group = (static_cast<uint32_t>(sextet(in[0])) << 18) | (static_cast<uint32_t>(sextet(in[1])) << 12);
        if (rest == 3) group |= static_cast<uint32_t>(sextet(in[2])) << 6;
        to[0] = static_cast<char>((group >> 16) & 0xFF);
        if (rest == 3) to[1] = static_cast<char>((group >> 8) & 0xFF);
    }
    return out;
}

} // namespace VxMeta
