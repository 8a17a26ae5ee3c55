#include "vxmeta/accounts/account_transfer.h"

#include "vxmeta/access/credentials.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

void transferAccount(const std::string& email, bool mfa) {
    LockScope sync(syncMutex);
    Credentials credentials;
    std::string serviceKey;
    {
        LockScope master(masterMutex);
        if (myPersists) myPersists->mfaCertificateBlacklists = Json::Value();
        credentials = globalState.credentials;
        serviceKey = globalState.mdsPubkey;
    }
    Action action(mfa);
    action.encodeDeviceAppPlatformInfo(credentials.getURN());
    action.encode("loginToken", credentials.getLoginToken(serviceKey));
    action.encode("email", email);
    takeOverAccount(action.perform("ua/accountTransfer", true, false), credentials, true);
}

void takeOverAccount(const Json::Value& reply, Credentials& credentials, bool replacesAnotherAccount) {
    const Json::Value& pidForm = asObject(jsonMember(reply, "pid"), "account pid");
    const Json::Value& userForm = asObject(jsonMember(reply, "user"), "account user");
    PID given;
    given.fromJSONValue(pidForm);
    {
        LockScope master(masterMutex);
        if (replacesAnotherAccount && !myPID->urn.empty() && myPID->urn != given.urn) mdClearAll(true);
        myPID->update(pidForm);
        myUser->update(userForm);
        globalState.homeServer = myUser->homeServer;
    }
    // The SID may have to be fetched: not under the master lock.
    credentials.acquirePrivateKey();
    LockScope master(masterMutex);
    globalState.credentials = credentials;
}

} // namespace VxMeta
