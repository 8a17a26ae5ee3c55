#include "vxmeta/comm/cluster_evaluator.h"

#include <algorithm>

#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/perform_op_server.h"
#include "vxmeta/comm/record_links.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/random_source.h"

namespace VxMeta {

ClusterEvaluatorPtr myClusterEvaluator;

namespace {
// The evaluator's own lock, in its place in the lock order.
struct Guard : OrderedLock {
    explicit Guard(std::recursive_mutex& mutex) : OrderedLock(mutex, LockRank::evaluator) {}
};
} // namespace

namespace {

std::atomic<uint64_t> serverListCounter{0};

void serverListChanged() { serverListCounter.fetch_add(1, std::memory_order_release); }

// The full URLs of a server list, in byte order: equal for lists that name the same servers.
std::vector<std::string> sortedUrls(const std::vector<ClusterServerPtr>& list) {
    std::vector<std::string> urls;
    urls.reserve(list.size());
    for (const ClusterServerPtr& server : list) urls.push_back(server->url()->fullUrl);
    std::sort(urls.begin(), urls.end());
    return urls;
}

// Set while this thread runs the cluster tag check. A refused token makes the check's own request
// authorize again, and the authorization asks for a server, which would run the check again with
// the same refused token, without end; inside the check the check is skipped.
thread_local bool tagCheckRunning = false;

class TagCheckScope {
public:
    TagCheckScope() { tagCheckRunning = true; }
    ~TagCheckScope() { tagCheckRunning = false; }
    TagCheckScope(const TagCheckScope&) = delete;
    TagCheckScope& operator=(const TagCheckScope&) = delete;
};

// The seed of the shuffle: from OpenSSL's generator, so that clients started in the same millisecond
// (whose clock-seeded sources draw alike) do not order a cluster alike; from the installed source
// while a test fixes the randomness.
uint32_t shuffleSeed() { return randomSourceReplaced() ? randomSource()->next() : getRandomUInt(); }

} // namespace

uint64_t serverListChanges() { return serverListCounter.load(std::memory_order_acquire); }

ServerSort::ServerSort(std::string home) : homeDataCenter(std::move(home)) {}

bool ServerSort::operator()(const ClusterServerPtr& a, const ClusterServerPtr& b) const {
    if (a->isOnline() != b->isOnline()) return a->isOnline();
    if (a->dataCenter() == b->dataCenter()) return false;
    if (a->dataCenter() != homeDataCenter && b->dataCenter() != homeDataCenter) return false;
    return a->dataCenter() == homeDataCenter;
}

ClusterEvaluator::ClusterEvaluator(const TarvexProtocol::UrlPtr& url) : engine(shuffleSeed()) {
    // The registry's object, so that a failing request on the first server takes it out of selection.
    servers.push_back(getMyClusterServers()->getServerForUrl(url));
    serverListChanged();
}

ClusterServerPtr ClusterEvaluator::getServer() {
    Guard guard(lock);
    if (servers.empty()) {
        VXLOG(4, "No servers defined");
        throw VxMetaException(VXMECAT_INTERNAL, "No known servers to communicate with");
    }
    if (listDirty) {
        listDirty = false;
        calculateServerList();
    }
    bool anyServer = etagCheckNeeded.load() || masterOnly == 0;
    for (const ClusterServerPtr& server : servers) {
        if (server->isUp() && (anyServer || server->isMaster())) return server;
    }
    VXLOG(5, "No servers");
    throw VxMetaException(VXMECAT_COMMUNICATION_ERROR, "No applicable servers are online");
}

void ClusterEvaluator::calculateServerList() {
    VXLOG(5, "Calculating cluster list");
    Guard guard(lock);
    if (servers.empty()) {
        VXLOG(5, "No servers configured");
        return;
    }
    for (std::size_t i = 0; i + 1 < servers.size(); ++i) {
        std::size_t step = std::uniform_int_distribution<std::size_t>(0, servers.size() - 1 - i)(engine);
        if (step != 0) std::swap(servers[i], servers[i + step]);
    }
    std::sort(servers.begin(), servers.end(), ServerSort(homeDataCenter));
    if (logLevelOn(4)) {
        std::string list;
        for (const ClusterServerPtr& server : servers) {
            if (!list.empty()) list += ", ";
            list += server->url()->fullUrl;
        }
        writeLog(4, "Cluster list calculated. Size: %d, servers: %s", static_cast<int>(servers.size()), list.c_str());
    }
}

void ClusterEvaluator::fetchClusterInfoIfNeeded() {
    if (etagCheckNeeded.load() && !tagCheckRunning) {
        TagCheckScope running;
        try {
            auto handle = std::make_shared<PerformOpServer>(getServer());
            HttpRequest::Builder builder;
            builder.get().url(handle->url()->withApiPathAndQuery("etag/0"));
            VCSR executor;
            HttpResponsePtr reply = executor.performOpWithServer(handle, builder);
            std::string tag = jsonText(parseJson(reply->body), "ctag");
            manuallyRetrievedCtag(tag);
            etagCheckNeeded = false;
        } catch (const VxMetaException&) {
            return; // the next request asks again
        }
    }
    bool fetch;
    {
        Guard guard(lock);
        fetch = fetchClusterInfoNeeded;
        fetchClusterInfoNeeded = false;
    }
    if (!fetch) return;
    try {
        fetchClusterInfo();
    } catch (...) {
        Guard guard(lock);
        fetchClusterInfoNeeded = true;
        throw;
    }
}

void ClusterEvaluator::needFetchClusterInfo() {
    Guard guard(lock);
    etagCheckNeeded = true;
}

void ClusterEvaluator::manuallyRetrievedCtag(const std::string& tag) {
    Guard guard(lock);
    if (tag.empty()) {
        fetchClusterInfoNeeded = !ctag.empty();
    } else if (tag != ctag) {
        fetchClusterInfoNeeded = true;
    }
}

void ClusterEvaluator::fetchClusterInfo() {
    VCSR executor;
    executor.setPrefix(getServer()->url());
    Json::Value document = parseJson(executor.get("clusterInfo"));
    TarvexProtocol::ClusterInfoPtr info = TarvexProtocol::ClusterInfo::fromJson(document);
    const bool usable = std::any_of(info->members.begin(), info->members.end(),
                                    [](const auto& member) { return !member->url->fullUrl.empty(); });
    if (!usable) {
        // Taking it would leave no server to send anything to, not even the next refresh; the
        // held list and tag stay, as for a document that does not read.
        VXLOG(2, "Cluster info lists no server - keeping the current cluster");
        Guard guard(lock);
        fetchClusterInfoNeeded = false;
        return;
    }
    bool changed;
    {
        Guard guard(lock);
        changed = info->ctag != ctag;
    }
    if (changed) {
        VXLOG(5, "ctag changed, different cluster information.");
        setClusterInfo(info, false);
        // Stored after the evaluator's lock is released: the state record lives under the master lock.
        persistClusterInfo(document);
    } else {
        VXLOG(4, "No ctag change.");
    }
    Guard guard(lock);
    fetchClusterInfoNeeded = false;
}

void ClusterEvaluator::setClusterInfo(const TarvexProtocol::ClusterInfoPtr& document, bool keepRefreshing) {
    // The registry is reached through the master lock, so it is fetched before the evaluator's lock.
    ClusterServersPtr registry = getMyClusterServers();
    std::vector<ClusterServerPtr> list;
    for (const auto& member : document->members) {
        if (!member->url->fullUrl.empty()) list.push_back(std::make_shared<ClusterServer>(member));
    }
    Guard guard(lock);
    if (list.empty()) {
        VXLOG(4, "Clearing cluster info");
        if (!servers.empty()) serverListChanged();
        servers.clear();
    } else {
        VXLOG(5, "Updating cluster info (%d->%d)", static_cast<int>(servers.size()), static_cast<int>(list.size()));
        for (const ClusterServerPtr& server : list) registry->addOrUpdateServer(server);
        if (sortedUrls(servers) != sortedUrls(list)) serverListChanged();
        servers = list;
        if (servers.size() == 1) {
            VXLOG(4, "Cluster info has changed, updated to \"%s\"", servers.front()->url()->fullUrl.c_str());
        } else {
            VXLOG(4, "Cluster info has changed, updated with %d members", static_cast<int>(servers.size()));
        }
    }
    if (document->ctag.empty() || keepRefreshing) {
        etagCheckNeeded = true;
        fetchClusterInfoNeeded = true;
    } else {
        ctag = document->ctag;
        etagCheckNeeded = false;
        fetchClusterInfoNeeded = false;
    }
    listDirty = list.size() > 1;
}

void ClusterEvaluator::setClusterInfo(const TarvexProtocol::UrlPtr& url) {
    setClusterInfo(TarvexProtocol::ClusterInfo::forSingleServer(url), false);
}

std::string ClusterEvaluator::getCtag() {
    Guard guard(lock);
    return ctag;
}

std::string ClusterEvaluator::getDataCenter() {
    Guard guard(lock);
    return homeDataCenter;
}

std::vector<TarvexProtocol::UrlPtr> ClusterEvaluator::getClusterServerUrls() {
    Guard guard(lock);
    std::vector<TarvexProtocol::UrlPtr> urls;
    urls.reserve(servers.size());
    for (const ClusterServerPtr& server : servers) urls.push_back(server->url());
    return urls;
}

TarvexProtocol::UrlPtr ClusterEvaluator::getPrefix() {
    Guard guard(lock);
    if (servers.empty()) return TarvexProtocol::Url::newInstance(std::string(), std::string());
    try {
        return getServer()->url();
    } catch (const VxMetaException&) {
        return servers.front()->url();
    }
}

void ClusterEvaluator::setHomeDataCenter(const std::string& dataCenter) {
    Guard guard(lock);
    if (dataCenter == homeDataCenter) {
        VXLOG(5, "Data center has not changed, nothing to update");
        return;
    }
    VXLOG(4, "Updating data center - %s", dataCenter.c_str());
    homeDataCenter = dataCenter;
    listDirty = true;
}

void ClusterEvaluator::setAllServersUp() {
    Guard guard(lock);
    for (const ClusterServerPtr& server : servers) server->setIsUp();
}

void ClusterEvaluator::switchToMaster() {
    Guard guard(lock);
    ++masterOnly;
    VXLOG(5, "Incremented masterOnly=%d", masterOnly);
}

void ClusterEvaluator::resetMasterOnly() {
    Guard guard(lock);
    --masterOnly;
    VXLOG(5, "Decremented masterOnly=%d", masterOnly);
}

int32_t ClusterEvaluator::getMasterOnly() {
    Guard guard(lock);
    return masterOnly;
}

bool ClusterEvaluator::isFetchClusterInfoNeeded() {
    Guard guard(lock);
    return fetchClusterInfoNeeded;
}

bool ClusterEvaluator::isListDirty() {
    Guard guard(lock);
    return listDirty;
}

ClusterEvaluatorPtr getMyClusterEvaluator() {
    LockScope scope(masterMutex);
    if (!myClusterEvaluator) {
        VXLOG(4, "Initialized Cluster Evaluator");
        myClusterEvaluator = std::make_shared<ClusterEvaluator>(VCSR::CMDS_URL);
    }
    return myClusterEvaluator;
}

} // namespace VxMeta
