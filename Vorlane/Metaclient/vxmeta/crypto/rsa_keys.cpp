#include "vxmeta/crypto/rsa_keys.h"

#include <openssl/bn.h>
#include <openssl/rsa.h>

#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {
[[noreturn]] void failed(const char* message) { throw VxMetaException(VXMECAT_INTERNAL, message); }

bool isRsa2048(EVP_PKEY* key) {
    return key != nullptr && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA && EVP_PKEY_get_bits(key) == 2048 &&
           EVP_PKEY_get_size(key) == kRsaBlockBytes;
}

// One DER encoding through a buffer sized by a first call.
template <typename Encoder>
void encodeDer(EVP_PKEY* key, Encoder encoder, MemPS& out) {
    const int length = encoder(key, nullptr);
    if (length <= 0) failed("Unable to encode RSA key");
    out.reserve(length);
    if (encoder(key, out.cursor()) != length) failed("Unable to encode RSA key");
}
} // namespace

void extractKeys(EVP_PKEY* key, std::string& publicKey, std::string& privateKey) {
    MemPS der;
    encodeDer(key, [](EVP_PKEY* k, unsigned char** p) { return i2d_PublicKey(k, p); }, der);
    publicKey = der.encode();
    encodeDer(key, [](EVP_PKEY* k, unsigned char** p) { return i2d_PrivateKey(k, p); }, der);
    privateKey = der.toString();
}

void generateRSAKeys(std::string& publicKey, std::string& privateKey) {
    Pointer<BIGNUM> exponent(BN_new());
    if (exponent.get() == nullptr || BN_set_word(exponent, RSA_F4) != 1) failed("BN_set_word() failed");
    Pointer<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* generated = nullptr;
    if (context.get() == nullptr || EVP_PKEY_keygen_init(context) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(context, 2048) != 1 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context, exponent) != 1 ||
        EVP_PKEY_generate(context, &generated) != 1) {
        failed("RSA_generate_key_ex() failed");
    }
    Pointer<EVP_PKEY> key(generated);
    std::string body;
    extractKeys(key, body, privateKey);
    publicKey = std::string(tactic2Prefix) + "-" + body;
}

std::string publicKeyBody(const std::string& publicKey) { return checkPrefix(publicKey, tactic2Prefix); }

Pointer<EVP_PKEY> readPublicKeyDer(const std::string& der) {
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    Pointer<EVP_PKEY> key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(der.size())));
    if (!isRsa2048(key)) failed("Unable to read RSA Public key");
    return key;
}

Pointer<EVP_PKEY> readPublicKey(const std::string& publicKey) {
    return readPublicKeyDer(base64_decode(publicKeyBody(publicKey)));
}

Pointer<EVP_PKEY> readPrivateKey(const std::string& privateKey) {
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(privateKey.data());
    Pointer<EVP_PKEY> key(d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(privateKey.size())));
    if (!isRsa2048(key)) failed("Unable to read RSA Private key");
    return key;
}

} // namespace VxMeta
