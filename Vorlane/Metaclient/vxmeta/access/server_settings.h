// The key-management server in use: its URL prefix (the cluster evaluator's only server) and its RSA
// public key (the global state's, against which the library checks what the server signs). Both are
// kept equal with the persisted state record, which is marked for the local store on every change.
#pragma once

#include <string>

namespace VxMeta {

// Makes the server at the prefix the only server of the cluster and pubkey its public key.
void setMds(const std::string& prefix, const std::string& pubkey);
// Sets the server's public key; its form is checked only where a signature of the server is.
void setMdsPubkey(const std::string& pubkey);

} // namespace VxMeta
