#include "vxmeta/comm/record_links.h"

#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

namespace {
Json::Value& keptClusterInfo() {
    static Json::Value document;
    return document;
}
} // namespace

int32_t persistedPollingInterval() { return 60; }

void persistClusterInfo(const Json::Value& document) {
    LockScope scope(masterMutex);
    keptClusterInfo() = document;
}

std::optional<int32_t> userExpectedEtag() { return 0; }

void setIdentityEmail(const std::string&) {}

void clearUserAllowAccess() {}

void clearDeviceAllowAccess() {}

} // namespace VxMeta
