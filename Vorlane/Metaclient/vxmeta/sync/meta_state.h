// MetaState: the process-wide state that belongs to no record (the service's key, the signed-in
// user's keys, the user's team, the key indexes of the reconciliation pass and a few switches),
// held in the one value `globalState`. Every member is read and written under the master lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "vxmeta/access/credentials.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/records/satellite_policy.h"

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
    // The team's MFA policy in force: valid and requiring nothing until a policy is read.
    MfaPolicy mfaPolicy;
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

    MetaState();
    MetaState(const MetaState&) = default;
    MetaState& operator=(const MetaState&) = default;
    ~MetaState();

    // Makes this a freshly constructed state.
    void clear();
};

// The one state value of the process.
extern MetaState globalState;

} // namespace VxMeta
