#include "vxmeta/crypto/openssl_owners.h"

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

void cleanupPointer(EVP_PKEY* key) { EVP_PKEY_free(key); }
void cleanupPointer(BIGNUM* number) { BN_clear_free(number); }
void cleanupPointer(EVP_PKEY_CTX* context) { EVP_PKEY_CTX_free(context); }
void cleanupPointer(EVP_MD_CTX* context) { EVP_MD_CTX_free(context); }

CipherContext::CipherContext() : ctx(EVP_CIPHER_CTX_new()) {
    if (ctx == nullptr) throw VxMetaException(VXMECAT_INTERNAL, "Unable to create cipher context");
}

CipherContext::~CipherContext() { EVP_CIPHER_CTX_free(ctx); }

} // namespace VxMeta
