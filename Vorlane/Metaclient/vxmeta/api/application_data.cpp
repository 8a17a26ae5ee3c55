// Reading, saving and removing this application's data by name (RawVorlane's application-data
// operations).
#include "vxmeta/api/application_data.h"

#include "vxmeta/access/access_checks.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

std::shared_ptr<AppData> getSpecificAppDatum(const std::string& name) {
    LockScope lock(masterMutex);
    if (!myAppDatas) return nullptr;
    const int64_t deviceId = myDevice ? myDevice->id : 0;
    for (const std::shared_ptr<AppData>& datum : *myAppDatas) {
        if (!datum || datum->kind != appName || datum->name != name) continue;
        if (datum->deviceid == 0 || datum->deviceid == deviceId) return datum;
    }
    return nullptr;
}

std::string RawVorlane::getAppData(const std::string& name) {
    LockScope lock(masterMutex);
    const std::shared_ptr<AppData> datum = getSpecificAppDatum(name);
    return datum ? datum->value : std::string();
}

void RawVorlane::saveAppData(const std::string& name, const std::string& value, bool perDevice) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    LockScope lock(masterMutex);
    std::shared_ptr<AppData> datum = getSpecificAppDatum(name);
    if (!datum) {
        const int64_t deviceId = perDevice && myDevice ? myDevice->id : 0;
        const int64_t userId = myUser ? myUser->id : 0;
        if ((perDevice && deviceId == 0) || userId == 0) {
            VXLOG(2, "Device or user was null. Saving app data is going to fail, so not even trying.");
            throw VxMetaException(VXMECAT_INTERNAL, "Unable to save App Data as device or user are null");
        }
        datum = std::make_shared<AppData>();
        datum->name = name;
        datum->owner = myUser->geturn();
        datum->ownerid = userId;
        datum->kind = appName;
        datum->deviceid = deviceId;
        datum->originator = true;
        myAppDatas->push_back(datum);
    } else {
        datum->changed();
    }
    datum->value = value;
    lock.unlock();
    datum->sync();
    lock.lock();
}

void RawVorlane::removeAppData(const std::string& name) {
    LockScope sync(syncMutex);
    checkAllAccess(true, true);
    // The deletion is a request: it runs with the sync lock held and the master lock released, and
    // the datum leaves the dataset's lists (under the master lock) once the service deleted it.
    const std::shared_ptr<AppData> datum = getSpecificAppDatum(name);
    if (datum) datum->del();
}

} // namespace VxMeta
