// What the access area reads and changes of the library's global state record (MetaState, which
// lives with the synchronization in sync/meta_state.h). Declared here, below the area that defines
// them; each takes the master lock, except globalCredentials, whose user holds it.
#pragma once

#include <string>

namespace VxMeta {

class Credentials;
class SatellitePolicy;

// The signed-in user's credentials held in the global state.
Credentials& globalCredentials();
// The key-management service's public key ("V2-" text) in use.
void setServicePublicKey(const std::string& publicKey);
// The logged-in user's private key (DER bytes); empty: nobody is logged in.
void setLoggedInPrivateKey(const std::string& privateKey);
// Whether the signed-in identity is a TDE agent.
void setTdeAgentMode(bool on);
// The global state becomes a freshly constructed one.
void clearGlobalState();
// Drops the logged-in private key and the team group's private key.
void forgetLoggedInKeys();
// The managed account's encrypted password; empty when no managed account is known.
std::string managedAccountPassword();
// Isolated mode (nothing in this system sets it).
bool isolatedModeOn();
// The client policy in force.
void setSatellitePolicy(const SatellitePolicy& policy);

} // namespace VxMeta
