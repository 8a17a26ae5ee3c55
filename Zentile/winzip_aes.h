// WinZip AES decryption of one entry (AE-1 and AE-2; 128, 192 and 256 bits): PBKDF2-HMAC-SHA1 keys, the
// two-byte password verifier, AES in counter mode with the format's little-endian counter, and the
// HMAC-SHA1 authentication code over the encrypted bytes. OpenSSL does the cryptography.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Zentile {

class WinZipAesDecryptor {
public:
    WinZipAesDecryptor();
    ~WinZipAesDecryptor();
    WinZipAesDecryptor(const WinZipAesDecryptor&) = delete;
    WinZipAesDecryptor& operator=(const WinZipAesDecryptor&) = delete;

    static std::size_t saltLength(std::uint8_t strength) { return 4u + 4u * strength; }
    static constexpr std::size_t kVerifierLength = 2;
    static constexpr std::size_t kMacLength = 10;

    // Derives the keys; false when the strength is unknown, OpenSSL fails, or the verifier does not match
    // (a wrong password).
    bool start(const std::string& password, std::uint8_t strength, const unsigned char* salt,
               const unsigned char* verifier);
    // Authenticates and decrypts `length` bytes in place.
    bool decrypt(unsigned char* data, std::size_t length);
    // Whether the stored code matches the bytes decrypted.
    bool finish(const unsigned char* mac);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace Zentile
