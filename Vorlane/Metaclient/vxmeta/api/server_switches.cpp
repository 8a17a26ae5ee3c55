// The API's server switches and the small questions about the account and the server in use.
#include "vxmeta/access/credentials.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/account_state.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/server_discovery.h"

namespace VxMeta {

void RawVorlane::switchToCentral(const std::string& prefix) {
    LockScope sync(syncMutex);
    LockScope lock(masterMutex);
    setMds(prefix, cmdsPubkey);
}

bool RawVorlane::switchToDomain(const std::string& domainOrEmail) {
    LockScope sync(syncMutex);
    checkDomain(domainOrEmail);
    return VxMeta::isSatellite();
}

bool RawVorlane::isSatellite() { return VxMeta::isSatellite(); }

bool RawVorlane::isDeviceAllowed() {
    LockScope lock(masterMutex);
    return myDevice->allow_access;
}

bool RawVorlane::isAccountAllowed() {
    LockScope lock(masterMutex);
    if (myUser->owner.empty()) return false;
    return myUser->allow_access;
}

std::string RawVorlane::getAuthorizedServer(const std::string& domainOrEmail) {
    return VxMeta::getAuthorizedServer(domainOrEmail);
}

std::string RawVorlane::getPassword() {
    LockScope lock(masterMutex);
    return globalState.credentials.getPassword();
}

bool RawVorlane::isRegistered() { return VxMeta::isRegistered(); }

} // namespace VxMeta
