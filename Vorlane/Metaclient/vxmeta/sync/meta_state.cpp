#include "vxmeta/sync/meta_state.h"

#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

MetaState::MetaState() : mdsPubkey(cmdsPubkeyText) {}

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
