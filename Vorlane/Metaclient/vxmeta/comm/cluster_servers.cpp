#include "vxmeta/comm/cluster_servers.h"

#include "vxmeta/comm/perform_op_server.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta {

ClusterServersPtr myClusterServers;

ClusterServerPtr ClusterServers::getServerForUrl(const TarvexProtocol::UrlPtr& url) {
    TarvexProtocol::UrlPtr key = TarvexProtocol::Url::newInstance(url->baseUrl, std::string());
    OrderedLock guard(lock, LockRank::registry);
    auto found = serversByUrl.find(key);
    if (found != serversByUrl.end()) return found->second;
    auto server = std::make_shared<ClusterServer>(key);
    serversByUrl.emplace(key, server);
    return server;
}

std::shared_ptr<PerformOpServer> ClusterServers::getPerformOpServerForUrl(const TarvexProtocol::UrlPtr& url) {
    return std::make_shared<PerformOpServer>(getServerForUrl(url));
}

void ClusterServers::addOrUpdateServer(const ClusterServerPtr& server) {
    OrderedLock guard(lock, LockRank::registry);
    auto found = serversByUrl.find(server->url());
    if (found != serversByUrl.end()) {
        if (found->second != server) server->setAccessToken(found->second->getAccessToken());
        found->second = server;
    } else {
        serversByUrl.emplace(server->url(), server);
    }
}

void ClusterServers::clearAccessTokens() {
    OrderedLock guard(lock, LockRank::registry);
    for (auto& entry : serversByUrl) entry.second->setAccessToken(std::string());
}

ClusterServersPtr getMyClusterServers() {
    LockScope scope(masterMutex);
    if (!myClusterServers) {
        VXLOG(4, "Initialized Cluster Servers");
        myClusterServers = std::make_shared<ClusterServers>();
    }
    return myClusterServers;
}

} // namespace VxMeta
