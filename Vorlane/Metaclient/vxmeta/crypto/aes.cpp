#include "vxmeta/crypto/aes.h"

#include <algorithm>
#include <climits>
#include <utility>

#include <openssl/crypto.h>

#include "vxmeta/crypto/openssl_owners.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {
constexpr size_t kBlock = 16;

[[noreturn]] void cipherFailed(bool encrypting) {
    opensslFailed(encrypting ? "AES encryption failed" : "AES decryption failed");
}

void requireIv(const MemPS& iv) {
    if (iv.length() < kBlock) {
        throw VxMetaException(VXMECAT_INTERNAL, "AES initializaion vector must be at least 16 bytes");
    }
}
} // namespace

AES::AES(std::string keyBytes) : key(std::move(keyBytes)), keyIsBase64(false) {}

AES::AES(std::string keyText, bool isBase64) : key(std::move(keyText)), keyIsBase64(isBase64) {}

AES::~AES() {
    if (!key.empty()) OPENSSL_cleanse(key.data(), key.size());
}

void AES::keyInto(MemPS& buffer) const { buffer.set(key, keyIsBase64); }

std::string AES::encrypt(const std::string& plaintext, const std::string& iv, bool padding) const {
    MemPS keyBuffer;
    keyInto(keyBuffer);
    MemPS ivBuffer(iv, false);
    requireIv(ivBuffer);
    const EVP_CIPHER* cipher = AESgetCipherForKey(keyBuffer);
    CipherContext context;
    MemPS output;
    AEScipherPass(context.context(), true, cipher, keyBuffer.bytes(), ivBuffer.bytes(),
                  reinterpret_cast<const unsigned char*>(plaintext.data()), plaintext.size(), output, padding);
    return output.toString();
}

std::string AES::decrypt(const std::string& ciphertext, const std::string& iv, bool padding) const {
    MemPS keyBuffer;
    keyInto(keyBuffer);
    MemPS ivBuffer(iv, false);
    MemPS input(ciphertext, false);
    MemPS output;
    AESrun(false, keyBuffer, ivBuffer, input, output, padding);
    return output.toString();
}

const EVP_CIPHER* AESgetCipherForKey(const MemPS& key) {
    switch (key.length()) {
    case 16: return EVP_aes_128_cbc();
    case 24: return EVP_aes_192_cbc();
    case 32: return EVP_aes_256_cbc();
    default: throw VxMetaException(VXMECAT_INTERNAL, "Invalid key size for AES");
    }
}

void AESrun(bool encrypt, const MemPS& key, const MemPS& iv, const MemPS& input, MemPS& output, bool padding) {
    requireIv(iv);
    CipherContext context;
    const EVP_CIPHER* cipher = AESgetCipherForKey(key);
    AEScipherPass(context.context(), encrypt, cipher, key.bytes(), iv.bytes(), input.bytes(), input.length(),
                  output, padding);
}

void AEScipherPass(EVP_CIPHER_CTX* context, bool encrypt, const EVP_CIPHER* cipher, const unsigned char* key,
                   const unsigned char* iv, const unsigned char* input, size_t inputLength, MemPS& output,
                   bool padding) {
    // OpenSSL takes int lengths: a longer input would be cut to its low bits and lose the rest unseen.
    if (inputLength > static_cast<size_t>(INT_MAX) - 5 * kBlock) {
        throw VxMetaException(VXMECAT_INTERNAL, "AES input is too long");
    }
    if (encrypt && !padding && inputLength % kBlock != 0) {
        throw VxMetaException(VXMECAT_INTERNAL, "AES plaintext must be a whole number of blocks without padding");
    }
    output.reserve(static_cast<int>(inputLength + kBlock)); // reserve refuses lengths OpenSSL cannot take
    const int init = encrypt ? EVP_EncryptInit_ex(context, cipher, nullptr, key, iv)
                             : EVP_DecryptInit_ex(context, cipher, nullptr, key, iv);
    if (init != 1 || EVP_CIPHER_CTX_set_padding(context, padding ? 1 : 0) != 1) cipherFailed(encrypt);

    // An empty input still needs a valid pointer.
    static const unsigned char nothing = 0;
    const unsigned char* in = inputLength == 0 ? &nothing : input;
    int written = 0;
    const int update = encrypt ? EVP_EncryptUpdate(context, output.bytes(), &written, in, static_cast<int>(inputLength))
                               : EVP_DecryptUpdate(context, output.bytes(), &written, in, static_cast<int>(inputLength));
    if (update != 1 || written < 0) cipherFailed(encrypt);
    output.setLength(static_cast<size_t>(written));

    int tail = 0;
    const int final = encrypt ? EVP_EncryptFinal_ex(context, output.bytes() + written, &tail)
                              : EVP_DecryptFinal_ex(context, output.bytes() + written, &tail);
    if (final != 1) {
        if (encrypt) cipherFailed(true);
        clearOpensslErrors();
        return; // decryption: the unverified last block stays out
    }
    output.setLength(static_cast<size_t>(written) + static_cast<size_t>(tail));
}

std::string encrypt(const AES& holder, const std::string& plaintext, bool padding) {
    const std::string iv = randomBytes(static_cast<int>(kBlock));
    MemPS keyBuffer;
    holder.keyInto(keyBuffer);
    const EVP_CIPHER* cipher = AESgetCipherForKey(keyBuffer);
    CipherContext context;
    MemPS output;
    AEScipherPass(context.context(), true, cipher, keyBuffer.bytes(), reinterpret_cast<const unsigned char*>(iv.data()),
                  reinterpret_cast<const unsigned char*>(plaintext.data()), plaintext.size(), output, padding);
    // "V6-%s-%s" (or "V5-%s-%s") with base64(iv) and base64(ciphertext), built without copying the large field.
    std::string text;
    text.reserve(3 + 24 + 1 + (output.length() + 2) / 3 * 4);
    text += padding ? "V6-" : "V5-";
    text += base64_encode(iv);
    text += '-';
    base64_append(text, output.bytes(), output.length());
    return text;
}

std::string decrypt(const AES& holder, const std::string& text) {
    const std::vector<std::string> parts = splitParts(text, "-");
    bool padding = false;
    if (parts[0] == "V6") {
        padding = true;
    } else if (parts[0] != "V5") {
        throw VxMetaException(VXMECAT_UPGRADE, Fmt("Upgrade required - found unexpected cipher encoding. (%s)", parts[0]));
    }
    if (parts.size() < 3) throw VxMetaException(VXMECAT_INTERNAL, "Unsupported ciphertext.");
    return holder.decrypt(base64_decode(parts[2]), base64_decode(parts[1]), padding);
}

} // namespace VxMeta
