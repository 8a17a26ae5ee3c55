#include "vxmeta/api/recovery_material.h"

#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/base64.h"

namespace VxMeta {

std::string newRecoveryCode() { return generateSessionKey(); }

std::string recoveryCipherOf(const std::string& password, const std::string& recoveryCode) {
    return base64_encode(AES(recoveryCode, true).encrypt(password, recoveryCode, true));
}

std::string passwordFromRecoveryCipher(const std::string& recoveryCipher, const std::string& recoveryCode) {
    return AES(recoveryCode, true).decrypt(base64_decode(recoveryCipher), recoveryCode, true);
}

} // namespace VxMeta
