#include "vxmeta/access/access_checks.h"

#include <mutex>

#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/access/state_seam.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/two_text_format.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

bool loggedIn() { return loginScopeLoggedIn(); }

void mustBeLoggedIn() {
    if (!loggedIn()) throw VxMetaException(VXMECAT_LOGIN_REQUIRED, "Must be logged in");
}

void checkDeviceAllowed() {
    {
        LockScope lock(masterMutex);
        if (!myDevice || myDevice->allow_access) return;
    }
    logout();
    throw VxMetaException(VXMECAT_DEVICE_NOT_ALLOWED, "This device has been disabled.");
}

void verifyOnlineMode() {
    checkDeviceAllowed();
    if (isolatedModeOn())
        throw VxMetaException(VXMECAT_ISOLATED_MODE, "Operation cannot be performed in isolated mode");
}

void checkAllAccess(bool checkOffline, bool mustLogin) {
    checkDeviceAllowed();
    performCredentialCheck();
    if (mustLogin) mustBeLoggedIn();
    if (checkOffline && offlineAccessExpired()) {
        logout();
        throw VxMetaException(VXMECAT_CLIENT_REFRESH,
                              "Maximum offline access time exceeded - must communicate with server.");
    }
}

void authenticateOnTheFly(VCSR& executor) {
    int64_t accountId = 0;
    std::string email;
    {
        LockScope lock(masterMutex);
        if (myPID) {
            accountId = myPID->id;
            email = myPID->email;
        }
    }
    executor.getAccessToken(accountId, email);
    updateOnlineTime(true);
}

void incrementEtag() {
    LockScope lock(masterMutex);
    if (myUser) ++myUser->expectedEtag;
}

void addSyncProblem(const VxMetaException& problem) {
    std::lock_guard<std::mutex> guard(syncProblemsMutex);
    if (syncProblems.size() < 100) syncProblems.push_back(problem);
}

std::string makeSIDURL(const std::string& base, const std::string& id) { return Fmt("%s/%s/", base, urlencode(id)); }

} // namespace VxMeta
