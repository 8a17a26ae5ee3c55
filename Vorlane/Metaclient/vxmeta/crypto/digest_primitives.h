// The raw digest and PBKDF2 steps under an OpenSSL digest that crypto/'s own files build on
// (digests, signatures, "V2"/"V3" texts). Internal to crypto/: other areas use digests.h.
#pragma once

#include <cstddef>
#include <string>

#include <openssl/evp.h>

#include "vxmeta/crypto/mem_ps.h"

namespace VxMeta {

// The digest of text under md; a failing step throws the matching text (for example "SHA1_Init failed").
std::string digestText(const EVP_MD* md, const std::string& text, const char* initFailed, const char* updateFailed,
                       const char* finalFailed);
// digestText into out (room for EVP_MAX_MD_SIZE bytes), without a text of its own; the digest's length.
unsigned int digestInto(const EVP_MD* md, const char* data, size_t length, unsigned char* out, const char* initFailed,
                        const char* updateFailed, const char* finalFailed);
// PBKDF2 with HMAC over md into out, whose length says how many bytes to derive.
void pbkdf2Into(const EVP_MD* md, const unsigned char* password, size_t passwordLength, const unsigned char* salt,
                size_t saltLength, int rounds, MemPS& out);

} // namespace VxMeta
