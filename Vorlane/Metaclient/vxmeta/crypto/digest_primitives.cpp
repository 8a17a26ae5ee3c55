#include "vxmeta/crypto/digest_primitives.h"

#include <climits>

#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/openssl_owners.h"

namespace VxMeta {

std::string digestText(const EVP_MD* md, const std::string& text, const char* initFailed, const char* updateFailed,
                       const char* finalFailed) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    const unsigned int length = digestInto(md, text.data(), text.size(), digest, initFailed, updateFailed, finalFailed);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

unsigned int digestInto(const EVP_MD* md, const char* data, size_t length, unsigned char* out, const char* initFailed,
                        const char* updateFailed, const char* finalFailed) {
    // One context per thread, initialised anew for each text: the store hashes every stored value.
    thread_local const Pointer<EVP_MD_CTX> context(EVP_MD_CTX_new());
    if (_osslFailed_(context.get()) || EVP_DigestInit_ex(context, md, nullptr) != 1) opensslFailed(initFailed);
    if (EVP_DigestUpdate(context, data, length) != 1) opensslFailed(updateFailed);
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(context, out, &written) != 1) opensslFailed(finalFailed);
    return written;
}

void pbkdf2Into(const EVP_MD* md, const unsigned char* password, size_t passwordLength, const unsigned char* salt,
                size_t saltLength, int rounds, MemPS& out) {
    if (out.length() == 0) return;
    if (passwordLength > INT_MAX || saltLength > INT_MAX || rounds < 1) opensslFailed("PKCS5_PBKDF2_HMAC failed");
    static const unsigned char nothing = 0;
    if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(passwordLength == 0 ? &nothing : password),
                          static_cast<int>(passwordLength), saltLength == 0 ? &nothing : salt,
                          static_cast<int>(saltLength), rounds, md, static_cast<int>(out.length()),
                          out.bytes()) != 1) {
        opensslFailed("PKCS5_PBKDF2_HMAC failed");
    }
}

} // namespace VxMeta
