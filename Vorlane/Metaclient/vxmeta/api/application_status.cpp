#include "vxmeta/api/application_status.h"

#include <utility>

namespace VxMeta {

ApplicationStatus::ApplicationStatus(std::string statusKind, std::string statusVersion, std::string statusRefurn)
    : kind(std::move(statusKind)), version(std::move(statusVersion)), refurn(std::move(statusRefurn)) {}

} // namespace VxMeta
