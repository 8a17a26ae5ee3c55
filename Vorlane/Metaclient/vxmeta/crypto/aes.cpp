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

// OpenSSL takes int lengths: a longer input would be cut to its low bits and lose the rest unseen.
void checkPassInput(bool encrypt, size_t inputLength, bool padding) {
    if (inputLength > static_cast<size_t>(INT_MAX) - 5 * kBlock) {
        throw VxMetaException(VXMECAT_INTERNAL, "AES input is too long");
    }
    if (encrypt && !padding && inputLength % kBlock != 0) {
        throw VxMetaException(VXMECAT_INTERNAL, "AES plaintext must be a whole number of blocks without padding");
    }
}

// Wipes a buffer that held a plaintext when it goes out of scope.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& wiped) : buffer(wiped) {}
    ~WipeOnExit() {
        if (!buffer.empty()) OPENSSL_cleanse(buffer.data(), buffer.size());
    }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& buffer;
};
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
    checkPassInput(encrypt, inputLength, padding);
    output.reserve(static_cast<int>(inputLength + kBlock)); // reserve refuses lengths OpenSSL cannot take
    output.setLength(AEScipherInto(context, encrypt, cipher, key, iv, input, inputLength, output.bytes(), padding));
}

size_t AEScipherInto(EVP_CIPHER_CTX* context, bool encrypt, const EVP_CIPHER* cipher, const unsigned char* key,
                     const unsigned char* iv, const unsigned char* input, size_t inputLength, unsigned char* out,
                     bool padding) {
    checkPassInput(encrypt, inputLength, padding);
    const int init = encrypt ? EVP_EncryptInit_ex(context, cipher, nullptr, key, iv)
                             : EVP_DecryptInit_ex(context, cipher, nullptr, key, iv);
    if (init != 1 || EVP_CIPHER_CTX_set_padding(context, padding ? 1 : 0) != 1) cipherFailed(encrypt);

    // An empty input still needs a valid pointer.
    static const unsigned char nothing = 0;
    const unsigned char* in = inputLength == 0 ? &nothing : input;
    int written = 0;
    const int update = encrypt ? EVP_EncryptUpdate(context, out, &written, in, static_cast<int>(inputLength))
                               : EVP_DecryptUpdate(context, out, &written, in, static_cast<int>(inputLength));
    if (update != 1 || written < 0) cipherFailed(encrypt);

    int tail = 0;
    const int final = encrypt ? EVP_EncryptFinal_ex(context, out + written, &tail)
                              : EVP_DecryptFinal_ex(context, out + written, &tail);
    if (final != 1) {
        if (encrypt) cipherFailed(true);
        clearOpensslErrors();
        return static_cast<size_t>(written); // decryption: the unverified last block stays out
    }
    return static_cast<size_t>(written) + static_cast<size_t>(tail);
}

std::string encrypt(const AES& holder, const std::string& plaintext, bool padding) {
    std::string buffer;
    buffer.reserve(plaintext.size() + kBlock);
    buffer.assign(plaintext);
    std::string text;
    appendEncrypted(text, holder, std::move(buffer), padding);
    return text;
}

void appendEncrypted(std::string& text, const AES& holder, std::string&& buffer, bool padding) {
    std::string data = std::move(buffer);
    const WipeOnExit wipe(data);
    const std::string iv = randomBytes(static_cast<int>(kBlock));
    MemPS keyBuffer;
    holder.keyInto(keyBuffer);
    const EVP_CIPHER* cipher = AESgetCipherForKey(keyBuffer);
    const size_t length = data.size();
    checkPassInput(true, length, padding);
    data.resize(length + kBlock); // room for the padding block
    CipherContext context;
    const size_t written = AEScipherInto(context.context(), true, cipher, keyBuffer.bytes(),
                                         reinterpret_cast<const unsigned char*>(iv.data()),
                                         reinterpret_cast<const unsigned char*>(data.data()), length,
                                         reinterpret_cast<unsigned char*>(data.data()), padding);
    // "V6-%s-%s" (or "V5-%s-%s") with base64(iv) and base64(ciphertext).
    text.reserve(text.size() + 3 + 24 + 1 + (written + 2) / 3 * 4);
    text += padding ? "V6-" : "V5-";
    text += base64_encode(iv);
    text += '-';
    base64_append(text, reinterpret_cast<const unsigned char*>(data.data()), written);
}

std::string decrypt(const AES& holder, std::string_view text) {
    // The parts between the "-": version, IV, ciphertext (any further part is not read). They are
    // found in place: the ciphertext may be long.
    const size_t first = text.find('-');
    const std::string_view version = text.substr(0, first);
    bool padding = false;
    if (version == "V6") {
        padding = true;
    } else if (version != "V5") {
        throw VxMetaException(VXMECAT_UPGRADE,
                              Fmt("Upgrade required - found unexpected cipher encoding. (%s)", std::string(version)));
    }
    const size_t second = first == std::string_view::npos ? first : text.find('-', first + 1);
    if (second == std::string_view::npos) throw VxMetaException(VXMECAT_INTERNAL, "Unsupported ciphertext.");
    const size_t third = text.find('-', second + 1);
    const std::string iv = base64_decode(text.substr(first + 1, second - first - 1));
    std::string data = base64_decode(
        text.substr(second + 1, third == std::string_view::npos ? third : third - second - 1));

    MemPS keyBuffer;
    holder.keyInto(keyBuffer);
    MemPS ivBuffer(iv, false);
    requireIv(ivBuffer);
    const EVP_CIPHER* cipher = AESgetCipherForKey(keyBuffer);
    const size_t length = data.size();
    checkPassInput(false, length, padding);
    data.resize(length + kBlock); // the room a decryption pass may use
    size_t written = 0;
    try {
        CipherContext context;
        written = AEScipherInto(context.context(), false, cipher, keyBuffer.bytes(), ivBuffer.bytes(),
                                reinterpret_cast<const unsigned char*>(data.data()), length,
                                reinterpret_cast<unsigned char*>(data.data()), padding);
    } catch (...) {
        OPENSSL_cleanse(data.data(), data.size());
        throw;
    }
    // What follows the plaintext is ciphertext (an unverified last block) or the unused room.
    data.resize(written);
    return data;
}

} // namespace VxMeta
