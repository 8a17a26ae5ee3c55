// RSA encryption of short secrets: RSAES-OAEP with SHA-1, MGF1-SHA-1 and an empty label, at most 214
// bytes of plaintext; the ciphertext text is "V2-" followed by base64 of the 256-byte block.
#pragma once

#include <string>

namespace VxMeta {

// The "V2-" ciphertext of the plaintext for a "V2-" public key.
std::string RSAencrypt(const std::string& plaintext, const std::string& publicKey);
// The plaintext of a "V2-" ciphertext under a raw DER private key, with the OpenSSL padding mode
// given (the library passes RSA_PKCS1_OAEP_PADDING, 4). A ciphertext that is not exactly one
// 256-byte block, or that does not decrypt, fails with "RSA_private_decrypt failed".
std::string RSAdecryptOther(const std::string& ciphertext, const std::string& privateKey, int padding);

} // namespace VxMeta
