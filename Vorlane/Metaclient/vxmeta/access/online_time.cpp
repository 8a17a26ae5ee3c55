// The last contact with the service and the limits measured from it.
#include "vxmeta/access/access_checks.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

namespace {

// The persisted copy of the last online time moves at most this often while within the limit.
constexpr int64_t kOnlineTimeStoreSeconds = 900;

} // namespace

bool offlineAccessExpired() {
    LockScope lock(masterMutex);
    if (!myPersists || myPersists->offline_access_hours == 0) return false;
    return nowSeconds() - lastOnlineTime.load() > int64_t{myPersists->offline_access_hours} * 3600;
}

bool beenOfflineFor(int64_t seconds) {
    LockScope lock(masterMutex);
    return nowSeconds() - lastOnlineTime.load() >= seconds;
}

bool maCredentialCheckRequired() {
    LockScope lock(masterMutex);
    if (!myUser || !myUser->isManagedAccount) return false;
    if (!myPersists || myPersists->ma_credential_interval_minutes == 0) return false;
    return nowSeconds() - myPersists->lastManagedLoginTime > int64_t{myPersists->ma_credential_interval_minutes} * 60;
}

void updateOnlineTime(bool /*flag*/) {
    LockScope lock(masterMutex);
    const bool expired = offlineAccessExpired();
    const int64_t now = nowSeconds();
    lastOnlineTime = now;
    if (!myPersists) return;
    if (!expired && now - myPersists->lastOnlineTime <= kOnlineTimeStoreSeconds) return;
    if (myPersists->lastOnlineTime != now) {
        myPersists->lastOnlineTime = now;
        myPersists->localDirty = true;
    }
}

} // namespace VxMeta
