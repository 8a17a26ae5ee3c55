// AES-256-CBC texts under a password or a named key, and the thin wrappers that fix their settings:
//   "V2-" base64(salt) "-" rounds "-" base64(ciphertext)   key: PBKDF2-HMAC-SHA256 of the password
//   "V3-" keyId "-" base64(salt) "-" base64(ciphertext)     key: the base64-decoded secret
//   "V4-" base64(ciphertext)                                key: the base64-decoded secret
// The IV is the first 16 bytes of the 32-byte random salt, or for "V4" of the key itself (so the same
// key and plaintext always give the same "V4" text). Readers take any of the three forms.
#pragma once

#include <string>

#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/openssl_owners.h"

namespace VxMeta {

// Round count of the password texts this library writes; readers take the count from the text.
inline constexpr int kPasswordRounds = 50000;
// The highest round count a "V2" reader accepts: a hundred times what this library and the service
// write (a few seconds of derivation), so that a hostile or damaged text cannot hold a thread for
// hours. A text with more rounds is refused as INTERNAL "Unsupported ciphertext.".
inline constexpr int kMaxPasswordRounds = 100 * kPasswordRounds;

// Writes the text form of its tactic and reads all three; one object serves one call or one thread.
// decrypt takes over the tactic (and for "V2" the round count) of the text it read.
class SimpleAES : public CipherContext {
public:
    // tactic "V2" when rounds is not 0, else "V3".
    SimpleAES(const std::string& secret, int rounds);
    ~SimpleAES() override;

    // Derives the key of the current tactic; for "V4" the salt becomes a copy of the key.
    void init(MemPS& salt);
    std::string encrypt(const std::string& plaintext, bool padding);
    std::string decrypt(const std::string& text, bool padding);

protected:
    MemPS key;          // the 32-byte key of the current operation
    MemPS secret;       // the password, or the base64 text of a 32-byte key
    int rounds;         // PBKDF2 iterations for "V2"
    std::string tactic; // the form encrypt writes
    int keyId = 0;      // the key number "V3" texts carry; set by IndirectAES
};

// "V4" texts under a base64 key.
class StraightAES : public SimpleAES {
public:
    explicit StraightAES(const std::string& keyBase64);
    ~StraightAES() override;
};

// "V3" texts under a base64 key, naming it by keyId.
class IndirectAES : public SimpleAES {
public:
    IndirectAES(const std::string& keyBase64, int id);
    ~IndirectAES() override;
};

// "V4" under a base64 key, padding the caller's; the reader takes all three forms.
std::string aesEncrypt(const std::string& plaintext, const std::string& keyBase64, bool padding);
std::string aesDecrypt(const std::string& text, const std::string& keyBase64, bool padding);
// "V2" under a password, 50000 rounds, with padding (the private key and other password texts).
std::string prikeyEncryptV2(const std::string& plaintext, const std::string& password);
std::string prikeyDecryptV2(const std::string& text, const std::string& password);
std::string passwordEncrypt(const std::string& plaintext, const std::string& password);
std::string passwordDecrypt(const std::string& text, const std::string& password);
// "V2" under a password, 50000 rounds, without padding; the reader pads only texts over 100 characters.
std::string sinfoEncrypt(const std::string& plaintext, const std::string& password);
std::string sinfoDecrypt(const std::string& text, const std::string& password);

} // namespace VxMeta
