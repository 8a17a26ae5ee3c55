#include "Zentile/winzip_aes.h"

#include <algorithm>
#include <cstring>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

namespace Zentile {

struct WinZipAesDecryptor::State {
    EVP_CIPHER_CTX* cipher = nullptr;
    EVP_MAC* macAlgorithm = nullptr;
    EVP_MAC_CTX* mac = nullptr;
    unsigned char counter[16] = {};
    unsigned char keystream[16] = {};
    std::size_t keystreamUsed = 16;
    std::vector<unsigned char> blocks;

    ~State() {
        EVP_CIPHER_CTX_free(cipher);
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(macAlgorithm);
    }

    void nextCounter() {
        for (unsigned char& byte : counter) {
            if (++byte != 0) {
                break;
            }
        }
    }
};

WinZipAesDecryptor::WinZipAesDecryptor() = default;
WinZipAesDecryptor::~WinZipAesDecryptor() = default;

bool WinZipAesDecryptor::start(const std::string& password, std::uint8_t strength, const unsigned char* salt,
                               const unsigned char* verifier) {
    if (strength < 1 || strength > 3) {
        return false;
    }
    std::size_t keyLength = 8u + 8u * strength;
    std::vector<unsigned char> derived(2 * keyLength + kVerifierLength);
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt,
                               static_cast<int>(saltLength(strength)), 1000, static_cast<int>(derived.size()),
                               derived.data()) != 1) {
        return false;
    }
    bool verified = CRYPTO_memcmp(derived.data() + 2 * keyLength, verifier, kVerifierLength) == 0;
    if (!verified) {
        OPENSSL_cleanse(derived.data(), derived.size());
        return false;
    }
    auto state = std::make_unique<State>();
    const EVP_CIPHER* ecb = strength == 1 ? EVP_aes_128_ecb() : strength == 2 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
    state->cipher = EVP_CIPHER_CTX_new();
    state->macAlgorithm = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    state->mac = state->macAlgorithm != nullptr ? EVP_MAC_CTX_new(state->macAlgorithm) : nullptr;
    char digest[] = "SHA1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_construct_end()};
    bool ok = state->cipher != nullptr && state->mac != nullptr &&
              EVP_EncryptInit_ex(state->cipher, ecb, nullptr, derived.data(), nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(state->cipher, 0) == 1 &&
              EVP_MAC_init(state->mac, derived.data() + keyLength, keyLength, params) == 1;
    OPENSSL_cleanse(derived.data(), derived.size());
    if (!ok) {
        return false;
    }
    state->nextCounter(); // the first block uses counter 1
    state_ = std::move(state);
    return true;
}

bool WinZipAesDecryptor::decrypt(unsigned char* data, std::size_t length) {
    State& s = *state_;
    if (EVP_MAC_update(s.mac, data, length) != 1) {
        return false;
    }
    // Finish a block begun by the previous call.
    while (length > 0 && s.keystreamUsed < 16) {
        *data++ ^= s.keystream[s.keystreamUsed++];
        --length;
    }
    constexpr std::size_t kBatchBlocks = 4096;
    while (length > 0) {
        std::size_t blocks = std::min(kBatchBlocks, (length + 15) / 16);
        s.blocks.resize(blocks * 16);
        for (std::size_t b = 0; b < blocks; ++b) {
            std::memcpy(&s.blocks[b * 16], s.counter, 16);
            s.nextCounter();
        }
        int produced = 0;
        if (EVP_EncryptUpdate(s.cipher, s.blocks.data(), &produced, s.blocks.data(),
                              static_cast<int>(s.blocks.size())) != 1 ||
            produced != static_cast<int>(s.blocks.size())) {
            return false;
        }
        std::size_t take = std::min(length, s.blocks.size());
        for (std::size_t i = 0; i < take; ++i) {
            data[i] ^= s.blocks[i];
        }
        if (take % 16 != 0) {
            std::memcpy(s.keystream, &s.blocks[take - take % 16], 16);
            s.keystreamUsed = take % 16;
        }
        data += take;
        length -= take;
    }
    return true;
}

bool WinZipAesDecryptor::finish(const unsigned char* mac) {
    unsigned char full[EVP_MAX_MD_SIZE];
    std::size_t length = 0;
    if (EVP_MAC_final(state_->mac, full, &length, sizeof full) != 1 || length < kMacLength) {
        return false;
    }
    return CRYPTO_memcmp(full, mac, kMacLength) == 0;
}

} // namespace Zentile
