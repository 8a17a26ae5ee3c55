#include "vxmeta/accounts/mfa_checkpoint.h"

#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

void mfaCheckpoint(const std::string& action) {
    assertMasterLockNotHeld("MFA checkpoint");
    if (action.empty()) return;
}

} // namespace VxMeta
