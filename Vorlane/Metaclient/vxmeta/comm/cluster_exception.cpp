#include "vxmeta/comm/cluster_exception.h"

#include "vxmeta/foundation/log.h"

namespace VxMeta {

namespace {
std::shared_ptr<const VxMetaException> copyOf(const VxMetaException* cause) {
    return cause ? std::make_shared<const VxMetaException>(*cause) : nullptr;
}
} // namespace

ClusterException::ClusterException(bool master, std::shared_ptr<const VxMetaException> why)
    : needMaster(master), cause(std::move(why)) {}

ClusterException::~ClusterException() = default;

void ClusterException::needingMaster(const VxMetaException* cause) {
    VXLOG(5, "Need Master Exception");
    throw ClusterException(true, copyOf(cause));
}

void ClusterException::serverIsDown(const VxMetaException* cause) {
    VXLOG(5, "Server is Down Exception");
    throw ClusterException(false, copyOf(cause));
}

} // namespace VxMeta
