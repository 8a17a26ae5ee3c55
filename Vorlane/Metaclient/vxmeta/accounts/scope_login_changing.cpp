#include "vxmeta/accounts/scope_login_changing.h"

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

int32_t ScopeLoginChanging::active = 0;

ScopeLoginChanging::ScopeLoginChanging() {
    LockScope lock(masterMutex);
    ++active;
}

ScopeLoginChanging::~ScopeLoginChanging() { dispose(); }

void ScopeLoginChanging::dispose() {
    LockScope lock(masterMutex);
    if (disposed) return;
    disposed = true;
    --active;
}

bool ScopeLoginChanging::loggedIn() {
    LockScope lock(masterMutex);
    if (active != 0) return false;
    return !globalState.myPrikey.empty();
}

} // namespace VxMeta
