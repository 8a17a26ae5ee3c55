// AES-CBC under a key the caller holds: the key holder AES with raw encryption under a caller's IV,
// and the "V6-" (PKCS#7 padding) and "V5-" (no padding) texts, which carry a random IV:
//   "V6-" base64(IV) "-" base64(ciphertext)
// The key's length (16, 24 or 32 bytes) chooses AES-128, AES-192 or AES-256.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <openssl/evp.h>

#include "vxmeta/crypto/mem_ps.h"

namespace VxMeta {

class AES {
public:
    explicit AES(std::string key);
    AES(std::string key, bool keyIsBase64);
    ~AES();
    AES(const AES& other) = default;
    AES& operator=(const AES& other) = default;

    // The IV is raw bytes, at least 16 of them; the first 16 are used.
    std::string encrypt(const std::string& plaintext, const std::string& iv, bool padding) const;
    std::string decrypt(const std::string& ciphertext, const std::string& iv, bool padding) const;

    // Loads the key's bytes (decoded when they are base64) into a buffer.
    void keyInto(MemPS& buffer) const;

private:
    std::string key;  // the key bytes, or their base64 text
    bool keyIsBase64; // decode key before each use
};

// The cipher for a key of 16, 24 or 32 bytes; any other length fails.
const EVP_CIPHER* AESgetCipherForKey(const MemPS& key);

// One encryption or decryption pass of AES-CBC under the key's size; output gets room for the input
// plus one block and holds the bytes produced.
void AESrun(bool encrypt, const MemPS& key, const MemPS& iv, const MemPS& input, MemPS& output, bool padding);

// The pass itself, on a context the caller owns, with a cipher already chosen. The key and IV must
// be as long as the cipher needs. An input longer than OpenSSL's int lengths is refused. Encryption
// checks every OpenSSL result and refuses, with padding off, a plaintext that is not a whole number
// of blocks. Decryption checks all but the last step:
// padding that does not verify (a wrong key, damaged bytes) or a partial last block is left out of
// the output and reported by nothing, so a caller that must know checks the plaintext itself.
void AEScipherPass(EVP_CIPHER_CTX* context, bool encrypt, const EVP_CIPHER* cipher, const unsigned char* key,
                   const unsigned char* iv, const unsigned char* input, size_t inputLength, MemPS& output,
                   bool padding);
// The same pass into out, which has room for inputLength plus one block and may be input itself
// (the pass then works in place, so a long text is not copied); the number of bytes written.
size_t AEScipherInto(EVP_CIPHER_CTX* context, bool encrypt, const EVP_CIPHER* cipher, const unsigned char* key,
                     const unsigned char* iv, const unsigned char* input, size_t inputLength, unsigned char* out,
                     bool padding);

// A "V6-" text (padding on) or a "V5-" text (padding off) of the plaintext under the holder's key.
std::string encrypt(const AES& holder, const std::string& plaintext, bool padding);
// Appends to text what encrypt gives for the plaintext that buffer holds, encrypting the buffer in
// place (a long plaintext is not copied); the buffer is wiped before it is released.
void appendEncrypted(std::string& text, const AES& holder, std::string&& buffer, bool padding);
// The plaintext of a "V6-" or "V5-" text, decrypted in the buffer that its base64 decodes into.
std::string decrypt(const AES& holder, std::string_view text);

} // namespace VxMeta
