#include "vxmeta/crypto/mem_ps.h"

#include <climits>
#include <cstring>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

namespace {
// Lengths are handed to OpenSSL as int; keep room for one cipher block on top.
constexpr size_t kLargest = INT_MAX - 64;

void checkSize(size_t n) {
    if (n > kLargest) throw VxMetaException(VXMECAT_INTERNAL, "MemPS size is invalid");
}

void wipe(std::string& text) {
    if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
}
} // namespace

MemPS::MemPS() = default;

MemPS::MemPS(int n) { reserve(n); }

MemPS::MemPS(int n, int initMode) {
    if (initMode == 0) {
        zeros(n);
    } else if (initMode == -1) {
        random(n);
    } else {
        throw VxMetaException(VXMECAT_INTERNAL, "MemPS initMode is invalid");
    }
}

MemPS::MemPS(const std::string& text, bool decode) { set(text, decode); }

MemPS::~MemPS() {
    release();
    wipe(backing);
}

void MemPS::release() {
    if (owned && data != nullptr) {
        OPENSSL_cleanse(data, capacity_);
        delete[] data;
    }
    data = nullptr;
    cursor_ = nullptr;
    constCursor_ = nullptr;
    length_ = 0;
    capacity_ = 0;
    owned = false;
}

void MemPS::reserve(int n) {
    if (n < 0) throw VxMetaException(VXMECAT_INTERNAL, "MemPS size is invalid");
    checkSize(static_cast<size_t>(n));
    const auto wanted = static_cast<uint32_t>(n);
    if (owned && capacity_ == wanted) {
        length_ = wanted;
        return;
    }
    release();
    // A block of at least one byte, so an empty owned buffer still hands OpenSSL a valid pointer.
    data = new unsigned char[wanted == 0 ? 1 : wanted];
    capacity_ = wanted;
    length_ = wanted;
    owned = true;
}

void MemPS::zeros(int n) {
    reserve(n);
    if (length_ > 0) std::memset(data, 0, length_);
}

void MemPS::random(int n) {
    reserve(n);
    if (RAND_bytes(data, static_cast<int>(length_)) != 1) {
        throw VxMetaException(VXMECAT_INTERNAL, "Unable to get cryptographically strong random bytes");
    }
}

void MemPS::set(const std::string& text, bool decode) {
    release();
    wipe(backing);
    backing = decode ? base64_decode(text) : text;
    checkSize(backing.size());
    data = reinterpret_cast<unsigned char*>(backing.data());
    length_ = static_cast<uint32_t>(backing.size());
    capacity_ = length_;
}

std::string MemPS::encode() const { return length_ == 0 ? std::string() : base64_encode(data, length_); }

std::string MemPS::encodeSafe() const { return encode(); }

std::string MemPS::asSafeString() const { return toString(); }

std::string MemPS::toString() const {
    return length_ == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), length_);
}

char* MemPS::chars() { return reinterpret_cast<char*>(data); }

const char* MemPS::chars() const { return reinterpret_cast<const char*>(data); }

void MemPS::setLength(size_t n) {
    if (n > capacity_) throw VxMetaException(VXMECAT_INTERNAL, "MemPS size is invalid");
    length_ = static_cast<uint32_t>(n);
}

unsigned char** MemPS::cursor() {
    cursor_ = data;
    return &cursor_;
}

const unsigned char** MemPS::constCursor() {
    constCursor_ = data;
    return &constCursor_;
}

std::string randomBytes(int n) { return MemPS(n, -1).toString(); }

} // namespace VxMeta
