// What the records read of the library's global state record, which lives with the
// synchronization (sync/meta_state.h): copies taken under the master lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace VxMeta {

class AssetKey;

// The logged-in user's RSA private key as DER bytes; empty while nobody is logged in.
std::string loggedInPrivateKey();
// The key-management service's public key ("V2-" text) in use.
std::string servicePublicKey();

// The key indexes of the reconciliation pass. The asset keys are shared with the dataset: read
// their members under the master lock.
// The user's personal asset key of that key sequence, or null.
std::shared_ptr<AssetKey> personalAssetKey(int32_t keysequence);
// The user's personal asset key of the highest key sequence, or null.
std::shared_ptr<AssetKey> currentPersonalAssetKey();
// The group master asset key addressed to the user by the identity of that id, or null.
std::shared_ptr<AssetKey> groupMasterAssetKey(int64_t ownerId);
// URN of the user's team group, and that group's RSA private key (DER); both empty without one.
std::string teamGroupUrn();
std::string teamGroupPrivateKey();
// URN of the user's current team (the "ca" of new asset keys); empty without one.
std::string currentTeamUrn();

// The application-record switch: while off, application records are neither sent nor refreshed.
bool appListSupported();
void setAppListSupported(bool supported);

} // namespace VxMeta
