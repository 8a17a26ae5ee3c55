// MemPS: the byte buffer through which the cryptography layer moves bytes between strings, base64
// texts and OpenSSL calls. Every block it owns or copies is wiped before it is released.
#pragma once

#include <cstdint>
#include <string>

namespace VxMeta {

class MemPS {
public:
    // Empty: no bytes, not owned.
    MemPS();
    // Owns n bytes of unspecified content.
    explicit MemPS(int n);
    // initMode 0: n zero bytes; -1: n random bytes; anything else fails.
    MemPS(int n, int initMode);
    // The text's bytes, or its base64 decoding when decode is true.
    MemPS(const std::string& text, bool decode);
    ~MemPS();
    MemPS(const MemPS&) = delete;
    MemPS& operator=(const MemPS&) = delete;

    // Owns n bytes. A buffer that already owns a block of exactly n bytes keeps it and its contents.
    void reserve(int n);
    // reserve n, every byte 0.
    void zeros(int n);
    // reserve n, filled by OpenSSL's random generator.
    void random(int n);
    // Holds a copy of the text (decoded from base64 when decode is true); any owned block is released.
    void set(const std::string& text, bool decode);

    // Base64 of the bytes (both give the same text).
    std::string encode() const;
    std::string encodeSafe() const;
    // The bytes as a string of exactly length() bytes.
    std::string asSafeString() const;
    std::string toString() const;
    explicit operator std::string() const { return toString(); }

    // Views for OpenSSL calls. Null only in a buffer that never held anything.
    unsigned char* bytes() { return data; }
    const unsigned char* bytes() const { return data; }
    char* chars();
    const char* chars() const;
    uint32_t length() const { return length_; }
    // How many bytes the buffer can hold: what an OpenSSL call may write into bytes().
    uint32_t capacity() const { return capacity_; }
    // After an OpenSSL call reported how many bytes it wrote: the buffer now holds n of them.
    // More than the buffer can hold is an internal failure, never a longer view.
    void setLength(size_t n);
    // For OpenSSL's DER encoders and decoders, which advance the pointer they are given: a cursor
    // reset to the first byte; the buffer's own view never moves.
    unsigned char** cursor();
    const unsigned char** constCursor();

private:
    void release();

    std::string backing;           // the bytes when the buffer was set from a string
    unsigned char* data = nullptr; // an owned block, or the characters of backing
    unsigned char* cursor_ = nullptr;
    const unsigned char* constCursor_ = nullptr;
    uint32_t length_ = 0;
    uint32_t capacity_ = 0;
    bool owned = false;
};

// n bytes from OpenSSL's random generator.
std::string randomBytes(int n);

} // namespace VxMeta
