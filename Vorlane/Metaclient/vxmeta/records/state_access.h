// What the records read of the library's global state record, which lives with the
// synchronization (sync/meta_state.h): copies taken under the master lock.
#pragma once

#include <string>

namespace VxMeta {

// The logged-in user's RSA private key as DER bytes; empty while nobody is logged in.
std::string loggedInPrivateKey();
// The key-management service's public key ("V2-" text) in use.
std::string servicePublicKey();

} // namespace VxMeta
