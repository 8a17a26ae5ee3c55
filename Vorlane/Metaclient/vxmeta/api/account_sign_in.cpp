// The API's sign-in: the library's sign-in followed by what the API adds to it.
#include "vxmeta/access/credentials.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

void RawVorlane::login(const std::string& email, const std::string& password, bool mfa) {
    LockScope sync(syncMutex);
    VxMeta::login(email, password, mfa);
    autoMapDevice();
    autoMapApp();
    bool renew = false;
    {
        LockScope lock(masterMutex);
        renew = globalState.credentials.recoveryUpdateNeeded;
    }
    if (renew) updatePasswordRecovery(password);
}

} // namespace VxMeta
