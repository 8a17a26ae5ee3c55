#include "vxmeta/comm/perform_op_server.h"

#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_exception.h"
#include "vxmeta/comm/record_links.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta {

PerformOpServer::PerformOpServer(ClusterServerPtr target)
    : errorCountAtStart(target->getErrorCount()), server(std::move(target)) {}

TarvexProtocol::UrlPtr PerformOpServer::url() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return server->url();
}

std::string PerformOpServer::getAccessToken() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return server->getAccessToken();
}

void PerformOpServer::gotResponse(const HttpResponsePtr&) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    server->setIsUp();
}

void PerformOpServer::gotResponse(const VxMetaException& failure) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (failure.httpStatus == 501) {
        if (failure.reason != VXMEREASON_SEND_TO_MASTER) throw failure;
        server->setIsUp();
        if (server->isMaster()) getMyClusterEvaluator()->needFetchClusterInfo();
        logExceptionHandledByHighAvailability(server->url(), failure);
        ClusterException::needingMaster(&failure);
    }
    bool down = failure.category == VXMECAT_COMMUNICATION_ERROR ||
                (failure.httpStatus >= 500 && failure.httpStatus <= 599) ||
                failure.reason == VXMEREASON_INACTIVE_ENDPOINT;
    if (!down) return;
    logExceptionHandledByHighAvailability(server->url(), failure);
    // The persisted polling interval is the back-off base; below 1 second it reads as 60 seconds.
    int32_t interval = persistedPollingInterval();
    server->setIsDown(errorCountAtStart, interval < 1 ? ClusterServer::kDefaultBackOffSeconds : static_cast<uint32_t>(interval));
    ClusterException::serverIsDown(&failure);
}

void logExceptionHandledByHighAvailability(const TarvexProtocol::UrlPtr& url, const VxMetaException& failure) {
    VXLOG(3, "Switching from server, url=\"%s\", code=%ld, message=\"%s\"", url->fullUrl.c_str(),
          static_cast<long>(failure.httpStatus), failure.message.c_str());
}

} // namespace VxMeta
