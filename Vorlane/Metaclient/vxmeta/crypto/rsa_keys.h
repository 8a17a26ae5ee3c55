// RSA-2048 key pairs (public exponent 65537) and their forms: the public key as "V2-" followed by
// base64 of the PKCS #1 RSAPublicKey DER (363 characters), the private key as the raw PKCS #1
// RSAPrivateKey DER. Keys of any other size are refused: every RSA block here is 256 bytes.
#pragma once

#include <string>

#include <openssl/evp.h>

#include "vxmeta/crypto/openssl_owners.h"

namespace VxMeta {

// Bytes of the modulus, and of every RSA ciphertext and signature.
inline constexpr int kRsaBlockBytes = 256;

// A new key pair in the two forms.
void generateRSAKeys(std::string& publicKey, std::string& privateKey);
// The base64 DER public key (without its tag) and the raw DER private key of key.
void extractKeys(EVP_PKEY* key, std::string& publicKey, std::string& privateKey);

// The key of a "V2-" public key text. A wrong tag fails as checkPrefix says; an unreadable key, or
// one that is not 2048-bit RSA, fails with "Unable to read RSA Public key".
Pointer<EVP_PKEY> readPublicKey(const std::string& publicKey);
// The key of raw DER private key bytes; "Unable to read RSA Private key" likewise.
Pointer<EVP_PKEY> readPrivateKey(const std::string& privateKey);
// The public key's base64 DER body, tag removed (checkPrefix's failures).
std::string publicKeyBody(const std::string& publicKey);
// The key of the decoded DER body of a public key text.
Pointer<EVP_PKEY> readPublicKeyDer(const std::string& der);

} // namespace VxMeta
