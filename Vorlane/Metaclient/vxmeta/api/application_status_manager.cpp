#include "vxmeta/api/application_status_manager.h"

#include "vxmeta/access/reporting_seam.h"
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
