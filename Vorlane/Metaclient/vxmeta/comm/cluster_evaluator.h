// ClusterEvaluator: picks the server for each request that has no fixed server. It keeps the
// cluster's server list (shuffled, then ordered: listed-online first, home data center first), the
// cluster tag of that list, the home data center and the master-only counter, and refreshes the list
// from the service when its tag changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "vxmeta/comm/cluster_info.h"
#include "vxmeta/comm/cluster_server.h"

namespace VxMeta {

// Order of the server list: a before b when a is listed online and b is not; otherwise, when their
// data centers differ and one of them is the home data center, that one first; otherwise equal.
class ServerSort {
public:
    explicit ServerSort(std::string homeDataCenter);
    bool operator()(const ClusterServerPtr& a, const ClusterServerPtr& b) const;

    std::string homeDataCenter;
};

class ClusterEvaluator {
public:
    // One server at `url`: the registry's object for it, so its failures count for selection.
    explicit ClusterEvaluator(const TarvexProtocol::UrlPtr& url);

    // The first usable server in list order: up, and master-only selection off (or suspended while the
    // cluster tag must be checked) or the server is the master. VXMECAT_INTERNAL "No known servers to
    // communicate with" for an empty list; VXMECAT_COMMUNICATION_ERROR "No applicable servers are online"
    // when none qualifies.
    ClusterServerPtr getServer();
    // Before each request without a fixed server: asks "etag/0" when due (failures other than the
    // failover signal are swallowed), then fetches the cluster document when the tag changed.
    void fetchClusterInfoIfNeeded();
    void needFetchClusterInfo();
    void manuallyRetrievedCtag(const std::string& ctag);
    void fetchClusterInfo();
    void setClusterInfo(const TarvexProtocol::ClusterInfoPtr& document, bool keepRefreshing);
    void setClusterInfo(const TarvexProtocol::UrlPtr& url);
    std::string getCtag();
    std::string getDataCenter();
    std::vector<TarvexProtocol::UrlPtr> getClusterServerUrls();
    // The url of getServer; the first server's when none is usable; an empty Url for an empty list.
    TarvexProtocol::UrlPtr getPrefix();
    void setHomeDataCenter(const std::string& dataCenter);
    void setAllServersUp();
    void switchToMaster();
    void resetMasterOnly();
    void calculateServerList();

    // For tests and diagnostics.
    int32_t getMasterOnly();
    bool isEtagCheckNeeded() const { return etagCheckNeeded.load(); }
    bool isFetchClusterInfoNeeded();
    bool isListDirty();

private:
    std::recursive_mutex lock;
    std::mt19937 engine;
    bool fetchClusterInfoNeeded = false;
    bool listDirty = true;
    std::atomic<bool> etagCheckNeeded{true}; // also read by the tag check, which runs without the lock
    int32_t masterOnly = 0;
    std::string ctag;
    std::string homeDataCenter;
    std::vector<ClusterServerPtr> servers;
};

using ClusterEvaluatorPtr = std::shared_ptr<ClusterEvaluator>;

// Moves whenever the servers that requests may go to change: a new evaluator, or a cluster document
// naming other servers than the list held. The host's transport reads it before each exchange and
// drops the connections it keeps when it moved.
uint64_t serverListChanges();

// The process-wide evaluator; null until first use, replaced when the library resets its dataset.
extern ClusterEvaluatorPtr myClusterEvaluator;
// Under the master lock: the evaluator, created on first use on the default server.
ClusterEvaluatorPtr getMyClusterEvaluator();

} // namespace VxMeta
