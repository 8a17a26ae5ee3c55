#include "vxmeta/crypto/key_wrapping.h"

#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/crypto/two_text_format.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {
constexpr int kSessionKeyBytes = 32;
constexpr int kSinfoHashBytes = 32;
} // namespace

std::string generateSessionKey() { return MemPS(kSessionKeyBytes, -1).encode(); }

uint32_t getRandomUInt() {
    const MemPS drawn(4, -1);
    const unsigned char* b = drawn.bytes();
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

std::string encryptSessionKey(const std::string& sessionKey, const std::string& publicKey) {
    return RSAencrypt(sessionKey, publicKey);
}

std::string encryptMasterKey(const std::string& masterKey, const std::string& publicKey) {
    const std::string sessionKey = generateSessionKey();
    const std::string body = StraightAES(sessionKey).encrypt(masterKey, true);
    const std::string head = RSAencrypt(sessionKey, publicKey);
    return Fmt("%s|%s", head, body);
}

std::string sinfoHash(const std::string& sinfo, const std::string& password) {
    return "V2-" + urnsafe(base64_encode(PBKDF2_HMAC_SHA256(password, sinfo, kPasswordRounds, kSinfoHashBytes)));
}

std::string sproxyToHash(const std::string& ciphertext, const std::string& password) {
    return sinfoHash(sinfoDecrypt(ciphertext, password), password);
}

} // namespace VxMeta
