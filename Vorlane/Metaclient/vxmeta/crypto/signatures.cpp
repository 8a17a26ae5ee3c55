#include "vxmeta/crypto/signatures.h"

#include <vector>

#include <openssl/rsa.h>

#include "vxmeta/crypto/digest_primitives.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/openssl_owners.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {
constexpr int kSaltBytes = 64;

std::string sha512(const std::string& text) {
    return digestText(EVP_sha512(), text, "SHA512_Init failed", "SHA512_Update failed", "SHA512_Final failed");
}

bool usePss(EVP_PKEY_CTX* context) {
    return EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PSS_PADDING) == 1 &&
           EVP_PKEY_CTX_set_signature_md(context, EVP_sha512()) == 1 &&
           EVP_PKEY_CTX_set_rsa_mgf1_md(context, EVP_sha512()) == 1 &&
           EVP_PKEY_CTX_set_rsa_pss_saltlen(context, kSaltBytes) == 1;
}
} // namespace

std::string signTextOther(const std::string& text, const std::string& privateKey) {
    init();
    Pointer<EVP_PKEY> key = readPrivateKey(privateKey);
    const std::string digest = sha512(text);
    Pointer<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (context.get() == nullptr || EVP_PKEY_sign_init(context) != 1 || !usePss(context)) {
        opensslFailed("RSA_padding_add_PKCS12_PSS failed");
    }
    MemPS signature(kRsaBlockBytes);
    size_t written = signature.capacity();
    if (EVP_PKEY_sign(context, signature.bytes(), &written, reinterpret_cast<const unsigned char*>(digest.data()),
                      digest.size()) != 1 ||
        written != static_cast<size_t>(kRsaBlockBytes)) {
        opensslFailed("RSA_private_encrypt failed");
    }
    return std::string(tactic2Prefix) + "-" + signature.encode();
}

bool verifyText(const std::string& text, const std::string& signature, const std::string& publicKey) {
    init();
    const std::string keyDer = base64_decode(publicKeyBody(publicKey));
    const std::vector<std::string> parts = splitParts(signature, "-");
    if (parts.size() != 2 || parts[0] != tactic2Prefix) return false;
    const std::string block = base64_decode(parts[1]);
    Pointer<EVP_PKEY> key = readPublicKeyDer(keyDer);
    const std::string digest = sha512(text);
    // A signature is exactly one block; OpenSSL would take a shorter one as a smaller number.
    if (block.size() != static_cast<size_t>(kRsaBlockBytes)) return false;
    Pointer<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (context.get() == nullptr || EVP_PKEY_verify_init(context) != 1 || !usePss(context)) {
        opensslFailed("RSA_verify_PKCS1_PSS failed");
    }
    const bool valid = EVP_PKEY_verify(context, reinterpret_cast<const unsigned char*>(block.data()), block.size(),
                                       reinterpret_cast<const unsigned char*>(digest.data()), digest.size()) == 1;
    if (!valid) clearOpensslErrors();
    return valid;
}

bool verifyTextNoExceptions(const std::string& text, const std::string& signature, const std::string& publicKey) {
    if (text.empty() && signature.empty()) return true;
    if (publicKey.empty()) return false;
    try {
        return verifyText(text, signature, publicKey);
    } catch (...) {
        return false;
    }
}

} // namespace VxMeta
