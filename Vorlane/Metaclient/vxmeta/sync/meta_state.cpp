#include "vxmeta/sync/meta_state.h"

#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/access/state_seam.h"

#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

MetaState::MetaState() : mdsPubkey(cmdsPubkeyText) {}

MetaState::~MetaState() { wipeSecrets(); }

void MetaState::clear() {
    wipeSecrets();
    *this = MetaState();
}

void MetaState::wipeSecrets() {
    wipeText(teamGroupPrikey);
    wipeText(myPrikey);
    wipeText(managedEncPass);
    credentials.wipeSecrets();
}

MetaState globalState;

std::string loggedInPrivateKey() {
    LockScope lock(masterMutex);
    return globalState.myPrikey;
}

std::string servicePublicKey() {
    LockScope lock(masterMutex);
    return globalState.mdsPubkey;
}

Credentials& globalCredentials() { return globalState.credentials; }

void setServicePublicKey(const std::string& publicKey) {
    LockScope lock(masterMutex);
    globalState.mdsPubkey = publicKey;
}

void setLoggedInPrivateKey(const std::string& privateKey) {
    LockScope lock(masterMutex);
    globalState.myPrikey = privateKey;
}

void setTdeAgentMode(bool on) {
    LockScope lock(masterMutex);
    globalState.tdeAgentMode = on;
}

void clearGlobalState() {
    LockScope lock(masterMutex);
    globalState.clear();
}

void forgetLoggedInKeys() {
    LockScope lock(masterMutex);
    wipeText(globalState.myPrikey);
    wipeText(globalState.teamGroupPrikey);
}

std::string managedAccountPassword() {
    LockScope lock(masterMutex);
    return globalState.managedEncPass;
}

bool isolatedModeOn() {
    LockScope lock(masterMutex);
    return globalState.isolatedMode;
}

void setSatellitePolicy(const SatellitePolicy& policy) {
    LockScope lock(masterMutex);
    globalState.satellitePolicy = policy;
}

std::shared_ptr<AssetKey> personalAssetKey(int32_t keysequence) {
    LockScope lock(masterMutex);
    const auto found = globalState.personalKeys.find(keysequence);
    return found == globalState.personalKeys.end() ? nullptr : found->second;
}

std::shared_ptr<AssetKey> currentPersonalAssetKey() {
    LockScope lock(masterMutex);
    return globalState.personalKey;
}

std::shared_ptr<AssetKey> groupMasterAssetKey(int64_t ownerId) {
    LockScope lock(masterMutex);
    const auto found = globalState.masterKeys.find(ownerId);
    return found == globalState.masterKeys.end() ? nullptr : found->second;
}

std::string teamGroupUrn() {
    LockScope lock(masterMutex);
    return globalState.teamGroupUrn;
}

std::string teamGroupPrivateKey() {
    LockScope lock(masterMutex);
    return globalState.teamGroupPrikey;
}

std::string currentTeamUrn() {
    LockScope lock(masterMutex);
    return globalState.caUrn;
}

bool appListSupported() {
    LockScope lock(masterMutex);
    return globalState.appListSupported;
}

void setAppListSupported(bool supported) {
    LockScope lock(masterMutex);
    globalState.appListSupported = supported;
}

} // namespace VxMeta
