// ApplicationStatusManager: the process-wide registry of the application statuses the host
// registered (by reference URN and kind); logout forgets them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "vxmeta/api/application_status.h"

namespace VxMeta {

class ApplicationStatusManager {
public:
    // The status registered under refurn and kind, registered now when absent. An empty kind fails
    // with "kind may not be empty".
    std::shared_ptr<ApplicationStatus> registerApplicationStatus(const std::string& kind, const std::string& version,
                                                                 const std::string& refurn);
    // One report to the service (PUT "aa/appStatus": device id, the user's etag, this application's
    // id and the entries of the statuses with changes), sent only when there are entries or the
    // user's etag moved since the last report; nothing while the reports are switched off, or while
    // the device or the application has no id. A 404 answer switches the reports off. True unless the
    // request failed otherwise. Needs a logged-in user ("Must be logged in").
    bool reportApplicationStatuses();
    // Forgets every registered status; the last etag reported stays.
    void clear();

private:
    std::recursive_mutex lock;
    [[maybe_unused]] int32_t lastEtag = 0; // read by the status reporting still to come
    std::unordered_map<std::string, std::shared_ptr<ApplicationStatus>> statuses;
};

// The process-wide registry; null until first use.
extern std::shared_ptr<ApplicationStatusManager> myAppComplianceStatusManager;
// Under the master lock: the registry, created on first use.
std::shared_ptr<ApplicationStatusManager> getMyApplicationStatusManager();

} // namespace VxMeta
