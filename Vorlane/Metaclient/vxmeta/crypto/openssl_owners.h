// Owners of OpenSSL objects: CipherContext for a cipher context, and the Pointer template for keys,
// big numbers and operation contexts, each released by its cleanupPointer overload.
#pragma once

#include <utility>

#include <openssl/bn.h>
#include <openssl/evp.h>

namespace VxMeta {

void cleanupPointer(EVP_PKEY* key);
void cleanupPointer(BIGNUM* number);
void cleanupPointer(EVP_PKEY_CTX* context);
void cleanupPointer(EVP_MD_CTX* context);

// Owns one OpenSSL object, which may be null (a constructor that failed). Moved, never copied.
template <typename T>
class Pointer {
public:
    Pointer() = default;
    explicit Pointer(T* raw) : raw_(raw) {}
    ~Pointer() { reset(); }
    Pointer(const Pointer&) = delete;
    Pointer& operator=(const Pointer&) = delete;
    Pointer(Pointer&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    Pointer& operator=(Pointer&& other) noexcept {
        if (this != &other) {
            reset();
            raw_ = std::exchange(other.raw_, nullptr);
        }
        return *this;
    }

    operator T*() const { return raw_; }
    T* get() const { return raw_; }
    void reset(T* raw = nullptr) {
        if (raw_ != nullptr) cleanupPointer(raw_);
        raw_ = raw;
    }

private:
    T* raw_ = nullptr;
};

// Owns one cipher context for the life of the object.
class CipherContext {
public:
    CipherContext();
    virtual ~CipherContext();
    CipherContext(const CipherContext&) = delete;
    CipherContext& operator=(const CipherContext&) = delete;

    EVP_CIPHER_CTX* context() const { return ctx; }

private:
    EVP_CIPHER_CTX* ctx;
};

} // namespace VxMeta
