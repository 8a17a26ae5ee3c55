// ClusterServers: the process-wide registry of ClusterServer objects, one per server base, through
// which requests find the server's state and access token.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "vxmeta/comm/cluster_server.h"

namespace VxMeta {

class PerformOpServer;

class ClusterServers {
public:
    // The entry for the url's server base (made on first use). Never fails.
    ClusterServerPtr getServerForUrl(const TarvexProtocol::UrlPtr& url);
    // A new request handle on getServerForUrl(url).
    std::shared_ptr<PerformOpServer> getPerformOpServerForUrl(const TarvexProtocol::UrlPtr& url);
    // Makes `server` the entry for its URL; it takes over the old entry's access token.
    void addOrUpdateServer(const ClusterServerPtr& server);
    // Every registered server forgets its access token.
    void clearAccessTokens();

private:
    std::recursive_mutex lock;
    std::unordered_map<TarvexProtocol::UrlPtr, ClusterServerPtr, TarvexProtocol::UrlPtrHash, TarvexProtocol::UrlPtrEqual>
        serversByUrl;
};

using ClusterServersPtr = std::shared_ptr<ClusterServers>;

// The process-wide registry; null until first use, replaced when the library resets its dataset.
extern ClusterServersPtr myClusterServers;
// Under the master lock: the registry, created on first use.
ClusterServersPtr getMyClusterServers();

} // namespace VxMeta
