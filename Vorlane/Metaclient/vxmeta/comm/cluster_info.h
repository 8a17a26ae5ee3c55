// ClusterInfo: the service's cluster document (its servers with data center, address, master and
// online flags, and the cluster tag that changes with the list). Parsing only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

#include "vxmeta/comm/url.h"

namespace TarvexProtocol {

class ClusterInfo {
public:
    class Server {
    public:
        Server(std::string dataCenter, UrlPtr url, bool isMaster, bool isOnline);

        // An object or null value; a wrong shape or type is a VXMECAT_PROTOCOL failure.
        static std::shared_ptr<Server> fromJson(const Json::Value& value);

        const std::string dataCenter;
        const UrlPtr url; // the server base (empty API path)
        const bool isMaster;
        const bool isOnline;
    };
    using ServerPtr = std::shared_ptr<Server>;

    explicit ClusterInfo(std::vector<ServerPtr> members, std::string ctag = std::string());

    // Never null. null, {} and [] give no members and an empty tag; "members" that is not an array
    // gives no members; any other value that is not an object is a VXMECAT_PROTOCOL failure.
    static std::shared_ptr<ClusterInfo> fromJson(const Json::Value& value);
    // One member: data center empty, master and online; empty tag.
    static std::shared_ptr<ClusterInfo> forSingleServer(const UrlPtr& url);

    const std::string ctag;
    const std::vector<ServerPtr> members;
};

using ClusterInfoPtr = std::shared_ptr<ClusterInfo>;

} // namespace TarvexProtocol
