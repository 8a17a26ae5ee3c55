// PerformOpServer: the handle of one request on one server. The executor reports the request's
// outcome to it; it marks the server up or down and decides whether another server (or the master)
// must redo the operation.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "vxmeta/comm/cluster_server.h"
#include "vxmeta/comm/http_response.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

class PerformOpServer {
public:
    explicit PerformOpServer(ClusterServerPtr target);

    TarvexProtocol::UrlPtr url();
    std::string getAccessToken();
    const ClusterServerPtr& getServer() const { return server; }

    // The request succeeded: the server is up.
    void gotResponse(const HttpResponsePtr& response);
    // The request failed. "Send To Master" on a 501 throws the failover signal for the master; a
    // communication error, a 5xx other than 501, or "InactiveEndpoint" marks the server down and throws
    // the signal for another server; another 501 throws a copy of `failure`; anything else returns.
    void gotResponse(const VxMetaException& failure);

private:
    std::recursive_mutex lock;
    const int32_t errorCountAtStart;
    const ClusterServerPtr server;
};

using PerformOpServerPtr = std::shared_ptr<PerformOpServer>;

// The level-3 line about leaving a server.
void logExceptionHandledByHighAvailability(const TarvexProtocol::UrlPtr& url, const VxMetaException& failure);

} // namespace VxMeta
