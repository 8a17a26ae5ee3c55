#include "vxmeta/api/recovery_material.h"

#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

std::string newRecoveryCode() { return generateSessionKey(); }

std::string recoveryCipherOf(const std::string& password, const std::string& recoveryCode) {
    return base64_encode(AES(recoveryCode, true).encrypt(password, recoveryCode, true));
}

std::string passwordFromRecoveryCipher(const std::string& recoveryCipher, const std::string& recoveryCode) {
    constexpr std::size_t kBlock = 16;
    const std::string bytes = base64_decode(recoveryCipher);
    if (bytes.empty() || bytes.size() % kBlock != 0) throw VxMetaException(VXMECAT_CLIENT, kRecoveryCodeDoesNotOpen);
    // Decrypted without padding, so that the PKCS #7 padding is checked here.
    std::string padded = AES(recoveryCode, true).decrypt(bytes, recoveryCode, false);
    const std::size_t pad = padded.size() == bytes.size() ? static_cast<unsigned char>(padded.back()) : 0;
    bool verified = pad >= 1 && pad <= kBlock;
    for (std::size_t i = 1; verified && i <= pad; ++i)
        verified = static_cast<unsigned char>(padded[padded.size() - i]) == pad;
    if (!verified) {
        wipeText(padded);
        throw VxMetaException(VXMECAT_CLIENT, kRecoveryCodeDoesNotOpen);
    }
    padded.resize(padded.size() - pad);
    return padded;
}

} // namespace VxMeta
