#include "vxmeta/crypto/digests.h"

#include <climits>
#include <cstring>

#include <openssl/hmac.h>

#include "vxmeta/crypto/digest_primitives.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/openssl_owners.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

namespace {
const unsigned char* bytesOf(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

std::string pbkdf2(const EVP_MD* md, const std::string& password, const std::string& salt, int rounds, int keyLength) {
    MemPS out(keyLength);
    pbkdf2Into(md, bytesOf(password), password.size(), bytesOf(salt), salt.size(), rounds, out);
    return out.toString();
}
} // namespace

std::string hashText(const std::string& text) {
    init();
    return base64_encode(digestText(EVP_sha1(), text, "SHA1_Init failed", "SHA1_Update failed", "SHA1_Final failed"));
}

namespace {
// Fetched once: the implicit fetch behind EVP_sha256() costs more than hashing a short text, and the
// store hashes every stored value.
const EVP_MD* sha256() {
    static EVP_MD* const fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return fetched ? fetched : EVP_sha256();
}
} // namespace

std::string SHA256(const std::string& text) {
    return digestText(sha256(), text, "SHA256_Init failed", "SHA256_Update failed", "SHA256_Final failed");
}

void SHA256(std::string_view text, unsigned char (&out)[32]) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    const unsigned int length = digestInto(sha256(), text.data(), text.size(), digest, "SHA256_Init failed",
                                           "SHA256_Update failed", "SHA256_Final failed");
    if (length != sizeof out) opensslFailed("SHA256_Final failed");
    std::memcpy(out, digest, sizeof out);
}

const EVP_MD* getSha(int size) {
    switch (size) {
    case 1:
    case 160: return EVP_sha1();
    case 224: return EVP_sha224();
    case 256: return EVP_sha256();
    case 384: return EVP_sha384();
    case 512: return EVP_sha512();
    default: throw VxMetaException(VXMECAT_CLIENT, "HMACSHA size must be 1, 160, 224, 256, 384, or 512");
    }
}

std::string hmacsha(int size, const std::string& key, std::string_view data) {
    const EVP_MD* md = getSha(size);
    if (key.size() > INT_MAX) opensslFailed("HMAC failed");
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    static const unsigned char nothing = 0;
    if (HMAC(md, key.empty() ? &nothing : bytesOf(key), static_cast<int>(key.size()),
             data.empty() ? &nothing : reinterpret_cast<const unsigned char*>(data.data()), data.size(), mac, &length) == nullptr) {
        opensslFailed("HMAC failed");
    }
    return std::string(reinterpret_cast<const char*>(mac), length);
}

std::string PBKDF2_HMAC_SHA256(const std::string& password, const std::string& salt, int rounds, int keyLength) {
    return pbkdf2(EVP_sha256(), password, salt, rounds, keyLength);
}

std::string PBKDF2_HMAC_SHA1(const std::string& password, const std::string& salt, int rounds, int keyLength) {
    return pbkdf2(EVP_sha1(), password, salt, rounds, keyLength);
}

std::string hashPassword(const std::string& password, int size, int rounds) {
    const int length = EVP_MD_get_size(getSha(size));
    MemPS salt(length, -1);
    MemPS key(length);
    pbkdf2Into(EVP_sha256(), bytesOf(password), password.size(), salt.bytes(), salt.length(), rounds, key);
    return salt.encode() + "-" + key.encode();
}

std::string hashPassword(const std::string& password, int size, int rounds, const std::string& saltBase64) {
    const int length = EVP_MD_get_size(getSha(size));
    return PBKDF2_HMAC_SHA256(password, base64_decode(saltBase64), rounds, length);
}

} // namespace VxMeta
