// The record side of what the request pipeline and the cluster read and write of the client's own
// records (declared in comm/record_links.h): the state record's polling interval and cluster
// document, the user's expected etag, and the record changes that refusals of the service carry.
#include "vxmeta/comm/record_links.h"

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

int32_t persistedPollingInterval() {
    LockScope lock(masterMutex);
    return myPersists ? myPersists->pollingInterval : Persists().pollingInterval;
}

void persistClusterInfo(const Json::Value& document) {
    LockScope lock(masterMutex);
    if (myPersists) myPersists->clusterInfo = document;
}

std::optional<int32_t> userExpectedEtag() {
    LockScope lock(masterMutex);
    if (!myUser) return std::nullopt;
    return myUser->expectedEtag;
}

void setIdentityEmail(const std::string& email) {
    LockScope lock(masterMutex);
    if (myPID) myPID->email = email;
}

void clearUserAllowAccess() {
    LockScope lock(masterMutex);
    if (myUser && myUser->allow_access) {
        myUser->allow_access = false;
        myUser->localDirty = true;
    }
}

void clearDeviceAllowAccess() {
    LockScope lock(masterMutex);
    if (myDevice) myDevice->allow_access = false;
}

} // namespace VxMeta
