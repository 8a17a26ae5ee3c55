#include "vxmeta/crypto/rsa_encryption.h"

#include <openssl/rsa.h>

#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/openssl_owners.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {
[[noreturn]] void failed(const char* message) { throw VxMetaException(VXMECAT_INTERNAL, message); }

bool useOaepSha1(EVP_PKEY_CTX* context) {
    return EVP_PKEY_CTX_set_rsa_oaep_md(context, EVP_sha1()) == 1 &&
           EVP_PKEY_CTX_set_rsa_mgf1_md(context, EVP_sha1()) == 1;
}
} // namespace

std::string RSAencrypt(const std::string& plaintext, const std::string& publicKey) {
    Pointer<EVP_PKEY> key = readPublicKey(publicKey);
    Pointer<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    MemPS block(kRsaBlockBytes);
    size_t written = block.capacity();
    if (context.get() == nullptr || EVP_PKEY_encrypt_init(context) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_OAEP_PADDING) != 1 || !useOaepSha1(context) ||
        EVP_PKEY_encrypt(context, block.bytes(), &written, reinterpret_cast<const unsigned char*>(plaintext.data()),
                         plaintext.size()) != 1 ||
        written != static_cast<size_t>(kRsaBlockBytes)) {
        failed("RSA_public_encrypt failed");
    }
    return std::string(tactic2Prefix) + "-" + block.encode();
}

std::string RSAdecryptOther(const std::string& ciphertext, const std::string& privateKey, int padding) {
    const MemPS input(checkPrefix(ciphertext, tactic2Prefix), true);
    Pointer<EVP_PKEY> key = readPrivateKey(privateKey);
    if (input.length() != static_cast<uint32_t>(kRsaBlockBytes)) failed("RSA_private_decrypt failed");
    Pointer<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    MemPS output(kRsaBlockBytes);
    size_t written = output.capacity();
    if (context.get() == nullptr || EVP_PKEY_decrypt_init(context) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context, padding) != 1 ||
        (padding == RSA_PKCS1_OAEP_PADDING && !useOaepSha1(context)) ||
        EVP_PKEY_decrypt(context, output.bytes(), &written, input.bytes(), input.length()) != 1) {
        failed("RSA_private_decrypt failed");
    }
    output.setLength(written);
    return output.toString();
}

} // namespace VxMeta
