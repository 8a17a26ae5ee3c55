#include "vxmeta/crypto/openssl_owners.h"

#include <openssl/err.h>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

void clearOpensslErrors() { ERR_clear_error(); }

void opensslFailed(const char* message) {
    clearOpensslErrors();
    throw VxMetaException(VXMECAT_INTERNAL, message);
}

void cleanupPointer(EVP_PKEY* key) { EVP_PKEY_free(key); }
void cleanupPointer(BIGNUM* number) { BN_clear_free(number); }
void cleanupPointer(EVP_PKEY_CTX* context) { EVP_PKEY_CTX_free(context); }
void cleanupPointer(EVP_MD_CTX* context) { EVP_MD_CTX_free(context); }

CipherContext::CipherContext() : ctx(EVP_CIPHER_CTX_new()) {
    if (ctx == nullptr) opensslFailed("Unable to create cipher context");
}

CipherContext::~CipherContext() { EVP_CIPHER_CTX_free(ctx); }

} // namespace VxMeta
