// Signatures over texts: RSASSA-PSS with SHA-512 as digest and MGF1 hash and a 64-byte salt, over
// the text's bytes; the signature text is "V2-" followed by base64 of the 256-byte block.
#pragma once

#include <string>

namespace VxMeta {

// The "V2-" signature of the text under a raw DER private key.
std::string signTextOther(const std::string& text, const std::string& privateKey);
// Whether signature is a valid signature of the text under a "V2-" public key. A signature of
// another shape, or one that does not verify, is false; a public key that cannot be read fails.
[[nodiscard]] bool verifyText(const std::string& text, const std::string& signature, const std::string& publicKey);
// True for an empty text with an empty signature; false for an empty key; otherwise verifyText,
// with every failure read as false. Never fails.
[[nodiscard]] bool verifyTextNoExceptions(const std::string& text, const std::string& signature, const std::string& publicKey);

} // namespace VxMeta
