// Signing and checking with the logged-in user's keys: the private key held in the global state
// and the public key of the user's own identity record (myPID). Each takes the master lock only
// to copy the key it needs and releases it before any RSA work.
#pragma once

#include <string>

namespace VxMeta {

// The "V2-" signature of text under the logged-in user's private key. Without that key: an
// internal failure when the own identity has a public key, else the empty text.
std::string signText(const std::string& text);
// The public key of the own identity record (myPID), copied under the master lock; empty without one.
std::string ownPublicKey();
// Checks a signature of text with the own identity's public key (failures as verifyText's).
[[nodiscard]] bool verifyMyText(const std::string& text, const std::string& signature);
// The plaintext of a "V2-" RSA ciphertext under the logged-in user's private key; fails unless a
// user is logged in.
std::string RSAdecrypt(const std::string& ciphertext, int padding);

} // namespace VxMeta
