// The periodic re-check of a managed account's credentials with the service.
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/access/state_seam.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"

namespace VxMeta {

void performCredentialCheck() {
    if (!loggedIn() || !maCredentialCheckRequired()) return;
    LockScope sync(syncMutex);
    const std::string password = managedAccountPassword();
    std::string urn;
    std::string email;
    {
        LockScope lock(masterMutex);
        if (myPID) {
            urn = myPID->urn;
            email = myPID->email;
        }
    }
    try {
        // Inside the failover wrapper: a server that cannot be reached is left for another, and when
        // none can be, the communication failure arrives here instead of ending the caller's operation.
        HighAvailability([&] {
            if (password.empty()) {
                performAccountAction("aa/checkCredentials", urn, Json::Value(), false, true);
            } else {
                Json::Value members(Json::objectValue);
                members["email"] = email;
                members["password"] = password;
                members["justChecking"] = true;
                performAccountAction("ua/loginManagedAccount", urn, members, false, false);
            }
        });
    } catch (VxMetaException& failure) {
        if (failure.category == VXMECAT_COMMUNICATION_ERROR) {
            // The check counts as made: the next one waits a whole interval.
            LockScope lock(masterMutex);
            const int64_t now = nowSeconds();
            if (myPersists && myPersists->lastManagedLoginTime != now) {
                myPersists->lastManagedLoginTime = now;
                myPersists->localDirty = true;
            }
            return;
        }
        if (failure.reason == VXMEREASON_CREDENTIALS) failure.category = VXMECAT_LOGIN_REQUIRED;
        throw;
    }
    managedAccountCheckedOK(password);
}

} // namespace VxMeta
