// The API object's registration of application statuses.
#include "vxmeta/api/application_status_manager.h"
#include "vxmeta/api/raw_vorlane.h"

namespace VxMeta {

std::shared_ptr<ApplicationStatus> RawVorlane::registerApplicationStatus(const std::string& kind,
                                                                        const std::string& version,
                                                                        const std::string& refurn) {
    return getMyApplicationStatusManager()->registerApplicationStatus(kind, version, refurn);
}

} // namespace VxMeta
