#include "vxmeta/api/application_status_manager.h"

#include "vxmeta/access/reporting_seam.h"
#include "vxmeta/api/application_record.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/records/access_seam.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta {

std::shared_ptr<ApplicationStatusManager> myAppComplianceStatusManager;

std::shared_ptr<ApplicationStatus> ApplicationStatusManager::registerApplicationStatus(const std::string& kind,
                                                                                       const std::string& version,
                                                                                       const std::string& refurn) {
    if (kind.empty()) throw VxMetaException(VXMECAT_CLIENT, "kind may not be empty");
    auto fresh = std::make_shared<ApplicationStatus>(kind, version, refurn);
    const std::string key = refurn + "-" + kind;
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto [entry, inserted] = statuses.emplace(key, fresh);
    return entry->second;
}

bool ApplicationStatusManager::reportApplicationStatuses() {
    {
        LockScope master(masterMutex);
        if (!globalState.appStatusesSupported) return true;
    }
    LockScope sync(syncMutex);
    LockScope master(masterMutex);
    mustBeLoggedIn();
    const int64_t deviceId = myDevice ? myDevice->id : 0;
    const int32_t etag = myUser ? myUser->etag : 0;
    const int64_t appId = getMyApp()->id;
    master.unlock();
    if (appId == 0 || deviceId == 0) return true;
    Json::Value body(Json::objectValue);
    body["deviceid"] = Json::Int64(deviceId);
    body["etag"] = etag;
    body["appid"] = Json::Int64(appId);
    {
        // The statuses carry no compliance value yet (values come with the status API), so a report
        // holds no entries and is sent only when the user's etag moved.
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (etag == lastEtag) return true;
    }
    try {
        VCSR executor;
        executor.put("aa/appStatus", jsonString(body) + "\n");
    } catch (const VxMetaException& e) {
        if (e.httpStatus == 404) {
            {
                std::lock_guard<std::recursive_mutex> guard(lock);
                lastEtag = etag;
            }
            master.lock();
            globalState.appStatusesSupported = false;
            return true;
        }
        VXLOG(2, "Failed to send application status/compliance - %s", e.message.c_str());
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(lock);
    lastEtag = etag;
    return true;
}

void ApplicationStatusManager::clear() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    statuses.clear();
}

std::shared_ptr<ApplicationStatusManager> getMyApplicationStatusManager() {
    LockScope scope(masterMutex);
    if (!myAppComplianceStatusManager) {
        VXLOG(4, "Initialized Application Statuses List");
        myAppComplianceStatusManager = std::make_shared<ApplicationStatusManager>();
    }
    return myAppComplianceStatusManager;
}

void clearApplicationStatuses() { getMyApplicationStatusManager()->clear(); }

} // namespace VxMeta
