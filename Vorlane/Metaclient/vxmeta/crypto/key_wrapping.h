// Session keys and the wrapped forms that need no dataset: a session key is 32 random bytes kept as
// their 44-character base64 text. The RSA form is the RSA ciphertext of that text; the master form
// is the RSA form of a fresh session key, "|", and the "V4-" text (padding on) of the master key
// under it. Also the sinfo hash and the library's random 32-bit value.
#pragma once

#include <cstdint>
#include <string>

namespace VxMeta {

// A new session key: base64 of 32 random bytes.
std::string generateSessionKey();
// Four random bytes, the first least significant.
uint32_t getRandomUInt();
// The RSA form of a session key for a "V2-" public key.
std::string encryptSessionKey(const std::string& sessionKey, const std::string& publicKey);
// The master form of a master key for a "V2-" public key.
std::string encryptMasterKey(const std::string& masterKey, const std::string& publicKey);
// "V2-" followed by urnsafe of base64 of PBKDF2-HMAC-SHA256 (password, salt = the sinfo text's
// bytes, 50000 rounds, 32 bytes).
std::string sinfoHash(const std::string& sinfo, const std::string& password);
// sinfoHash of the sinfo that sinfoDecrypt reads from the ciphertext with the same password.
std::string sproxyToHash(const std::string& ciphertext, const std::string& password);

} // namespace VxMeta
