// Digests and key derivation: the SHA-1 text hash, SHA-256, HMAC of the SHA family, PBKDF2 and
// the salted password hash. Inputs and outputs are raw bytes unless a function says base64.
#pragma once

#include <string>
#include <string_view>

#include <openssl/evp.h>

namespace VxMeta {

// Base64 of the SHA-1 digest of the text's bytes (28 characters).
std::string hashText(const std::string& text);
// The raw 32-byte SHA-256 digest.
std::string SHA256(const std::string& text);
// The same digest into out, for callers that hash many texts.
void SHA256(std::string_view text, unsigned char (&out)[32]);
// The digest of a size: 1 or 160 SHA-1, 224, 256, 384, 512 the SHA-2 of that size.
const EVP_MD* getSha(int size);
// The raw HMAC of data under key with getSha(size).
std::string hmacsha(int size, const std::string& key, std::string_view data);
// keyLength raw bytes of PBKDF2; password and salt are bytes, not decoded.
std::string PBKDF2_HMAC_SHA256(const std::string& password, const std::string& salt, int rounds, int keyLength);
std::string PBKDF2_HMAC_SHA1(const std::string& password, const std::string& salt, int rounds, int keyLength);
// base64(salt) "-" base64(key): a random salt and a PBKDF2-HMAC-SHA256 key, both as long as the
// digest of getSha(size); the size sets only the lengths.
std::string hashPassword(const std::string& password, int size, int rounds);
// The raw key of the same derivation over the base64-decoded salt.
std::string hashPassword(const std::string& password, int size, int rounds, const std::string& saltBase64);

// OpenSSL results: a count of 0 or less, or a null pointer, is a failure.
inline bool _osslFailed_(int result) { return result <= 0; }
inline bool _osslFailed_(const void* pointer) { return pointer == nullptr; }

} // namespace VxMeta
