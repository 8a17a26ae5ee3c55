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

} // namespace VxMeta
