// MetaState: the process-wide state that belongs to no record (the service's key, the signed-in
// user's keys, the user's team, the key indexes of the reconciliation pass and a few switches),
// held in the one value `globalState`. Every member is read and written under the master lock.
// A state that is destroyed or cleared wipes the secrets it held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "vxmeta/access/credentials.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/records/satellite_policy.h"
#include "vxmeta/sync/manifest.h"

namespace VxMeta {

class App;
class AssetKey;

// The group master keys that the user holds, by the id of the identity that owns them.
using MasterKeyMap = std::unordered_map<int64_t, std::shared_ptr<AssetKey>>;

class MetaState {
public:
    // Public key ("V2-" text) of the key-management service in use; the built-in key at first.
    std::string mdsPubkey;
    // The signed-in user's credentials.
    Credentials credentials;
    // This application's App record on this device.
    std::shared_ptr<App> myApp;
    // The user's personal keys by key sequence, and the one of the highest sequence.
    std::unordered_map<int32_t, std::shared_ptr<AssetKey>> personalKeys;
    std::shared_ptr<AssetKey> personalKey;
    // Copy of the user record's home server.
    std::string homeServer;
    // URN and id of the user's team.
    std::string caUrn;
    int32_t teamId = 0;
    // The team group identity's URN and its private key (DER), unwrapped for the user.
    std::string teamGroupUrn;
    std::string teamGroupPrikey;
    MasterKeyMap masterKeys;
    // The client policy in force: the class's defaults until a policy is read.
    SatellitePolicy satellitePolicy;
    // The user's decrypted private key (DER); empty while nobody is logged in.
    std::string myPrikey;
    // A managed account's encrypted password, kept for the periodic credential check.
    std::string managedEncPass;
    // Highest upgrade level (0 to 4) met.
    int32_t upgradeState = 0;
    // Isolated mode; nothing in this system sets it.
    bool isolatedMode = false;
    // The signed-in identity is a TDE agent.
    bool tdeAgentMode = false;
    // Application-status reports are sent only while set.
    bool appStatusesSupported = true;
    // The App list is refreshed, pushed and mapped only while set.
    bool appListSupported = true;
    // Start time of the last data-memo pass, seconds since 1970.
    int64_t lastMemoTime = 0;
    // The persisted store's integrity manifest and its bookkeeping.
    Manifest manifest;
    // The team's MFA policy in force: valid and requiring nothing until a policy is read.
    MfaPolicy mfaPolicy;

    MetaState();
    MetaState(const MetaState&) = default;
    MetaState& operator=(const MetaState&) = default;
    // Wipes the secrets.
    ~MetaState();

    // Makes this a freshly constructed state; the secrets it held are wiped.
    void clear();
    // Overwrites and empties the secrets: the private keys, the managed account's password and the
    // credentials' secrets.
    void wipeSecrets();
};

// The one state value of the process.
extern MetaState globalState;

} // namespace VxMeta
