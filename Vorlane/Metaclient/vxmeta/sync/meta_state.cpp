#include "vxmeta/sync/meta_state.h"

#include "vxmeta/access/state_seam.h"

#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

MetaState::MetaState() : mdsPubkey(cmdsPubkey) {}

MetaState::~MetaState() = default;

void MetaState::clear() { *this = MetaState(); }

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
    globalState.myPrikey.clear();
    globalState.teamGroupPrikey.clear();
}

std::string managedAccountPassword() {
    LockScope lock(masterMutex);
    return globalState.managedEncPass;
}

bool isolatedModeOn() {
    LockScope lock(masterMutex);
    return globalState.isolatedMode;
}

} // namespace VxMeta
