#include "vxmeta/crypto/simple_aes.h"

#include <vector>

#include <openssl/evp.h>

#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/digest_primitives.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {
constexpr int kSaltBytes = 32;
constexpr int kKeyBytes = 32;
constexpr uint32_t kIvBytes = 16;

[[noreturn]] void unsupported() { throw VxMetaException(VXMECAT_INTERNAL, "Unsupported ciphertext."); }

// A round count as the texts write it: decimal digits, from 1 to kMaxPasswordRounds.
int readRounds(const std::string& text) {
    if (text.empty() || text.size() > 10) unsupported();
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') unsupported();
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxPasswordRounds) unsupported();
    return static_cast<int>(value);
}
} // namespace

SimpleAES::SimpleAES(const std::string& secretText, int roundCount)
    : secret(secretText, false), rounds(roundCount), tactic(roundCount != 0 ? "V2" : "V3") {}

SimpleAES::~SimpleAES() = default;

void SimpleAES::init(MemPS& salt) {
    if (tactic == "V2") {
        key.reserve(kKeyBytes);
        pbkdf2Into(EVP_sha256(), secret.bytes(), secret.length(), salt.bytes(), salt.length(), rounds, key);
    } else if (tactic == "V3" || tactic == "V4") {
        key.set(secret.toString(), true);
        if (key.length() != static_cast<uint32_t>(kKeyBytes)) throw VxMetaException(VXMECAT_INTERNAL, "Invalid key size for AES");
        if (tactic == "V4") salt.set(key.toString(), false);
    }
}

std::string SimpleAES::encrypt(const std::string& plaintext, bool padding) {
    if (tactic != "V2" && tactic != "V3" && tactic != "V4") {
        throw VxMetaException(VXMECAT_INTERNAL, "Unknown encryption tactic " + tactic);
    }
    MemPS salt(kSaltBytes, -1);
    init(salt);
    MemPS output;
    AEScipherPass(context(), true, EVP_aes_256_cbc(), key.bytes(), salt.bytes(),
                  reinterpret_cast<const unsigned char*>(plaintext.data()), plaintext.size(), output, padding);
    if (tactic == "V2") return "V2-" + salt.encode() + "-" + std::to_string(rounds) + "-" + output.encode();
    if (tactic == "V3") return "V3-" + std::to_string(keyId) + "-" + salt.encode() + "-" + output.encode();
    return "V4-" + output.encode();
}

std::string SimpleAES::decrypt(const std::string& text, bool padding) {
    const std::vector<std::string> parts = splitParts(text, "-");
    tactic = parts[0];
    MemPS salt;
    MemPS ciphertext;
    if (tactic == "V2" && parts.size() == 4) {
        salt.set(parts[1], true);
        rounds = readRounds(parts[2]);
        ciphertext.set(parts[3], true);
    } else if (tactic == "V3" && parts.size() == 4) {
        salt.set(parts[2], true);
        ciphertext.set(parts[3], true);
    } else if (tactic == "V4" && parts.size() == 2) {
        ciphertext.set(parts[1], true);
    } else if (tactic != "V2" && parts.size() >= 2) {
        throw VxMetaException(VXMECAT_UPGRADE, "Upgrade required.");
    } else {
        unsupported();
    }
    if (tactic != "V4" && salt.length() < kIvBytes) unsupported();
    init(salt);
    MemPS output;
    AEScipherPass(context(), false, EVP_aes_256_cbc(), key.bytes(), salt.bytes(), ciphertext.bytes(),
                  ciphertext.length(), output, padding);
    return output.toString();
}

StraightAES::StraightAES(const std::string& keyBase64) : SimpleAES(keyBase64, 0) { tactic = "V4"; }

StraightAES::~StraightAES() = default;

IndirectAES::IndirectAES(const std::string& keyBase64, int id) : SimpleAES(keyBase64, 0) { keyId = id; }

IndirectAES::~IndirectAES() = default;

std::string aesEncrypt(const std::string& plaintext, const std::string& keyBase64, bool padding) {
    return StraightAES(keyBase64).encrypt(plaintext, padding);
}

std::string aesDecrypt(const std::string& text, const std::string& keyBase64, bool padding) {
    return StraightAES(keyBase64).decrypt(text, padding);
}

std::string prikeyEncryptV2(const std::string& plaintext, const std::string& password) {
    return SimpleAES(password, kPasswordRounds).encrypt(plaintext, true);
}

std::string prikeyDecryptV2(const std::string& text, const std::string& password) {
    return SimpleAES(password, kPasswordRounds).decrypt(text, true);
}

std::string passwordEncrypt(const std::string& plaintext, const std::string& password) {
    return SimpleAES(password, kPasswordRounds).encrypt(plaintext, true);
}

std::string passwordDecrypt(const std::string& text, const std::string& password) {
    return SimpleAES(password, kPasswordRounds).decrypt(text, true);
}

std::string sinfoEncrypt(const std::string& plaintext, const std::string& password) {
    return SimpleAES(password, kPasswordRounds).encrypt(plaintext, false);
}

std::string sinfoDecrypt(const std::string& text, const std::string& password) {
    if (text.empty()) throw VxMetaException(VXMECAT_INTERNAL, "Cannot decrypt sinfo - ciphertext is empty");
    return SimpleAES(password, kPasswordRounds).decrypt(text, text.size() > 100);
}

} // namespace VxMeta
