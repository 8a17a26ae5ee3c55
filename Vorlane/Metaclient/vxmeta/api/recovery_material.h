// The device's password-recovery material: a recovery code that the service keeps, and the password
// encrypted under it that only this device keeps.
#pragma once

#include <string>

namespace VxMeta {

// A new recovery code: 32 random bytes in base64.
std::string newRecoveryCode();
// base64 of the password under AES-CBC with the decoded code as key, the code's first 16 characters
// as initialisation vector, PKCS #7 padding.
std::string recoveryCipherOf(const std::string& password, const std::string& recoveryCode);
// The password that recoveryCipherOf made with the code. A cipher whose padding does not verify under
// the code (another code's cipher, damaged bytes) fails with VXMECAT_CLIENT kRecoveryCodeDoesNotOpen
// rather than giving back bytes that are not the password.
std::string passwordFromRecoveryCipher(const std::string& recoveryCipher, const std::string& recoveryCode);

inline constexpr char kRecoveryCodeDoesNotOpen[] =
    "Password recovery is not possible - the recovery code does not open this device's recovery data";

} // namespace VxMeta
