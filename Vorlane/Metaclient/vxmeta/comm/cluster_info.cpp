#include "vxmeta/comm/cluster_info.h"

#include "vxmeta/comm/document_fields.h"
#include "vxmeta/foundation/log.h"

namespace TarvexProtocol {

namespace {
constexpr char kWhat[] = "Cluster document";
}

ClusterInfo::Server::Server(std::string center, UrlPtr address, bool master, bool online)
    : dataCenter(std::move(center)), url(std::move(address)), isMaster(master), isOnline(online) {}

std::shared_ptr<ClusterInfo::Server> ClusterInfo::Server::fromJson(const Json::Value& value) {
    std::string dataCenter = VxMeta::documentText(value, "dataCenter", kWhat);
    UrlPtr url = Url::newInstance(VxMeta::documentText(value, "url", kWhat), std::string());
    bool isMaster = VxMeta::documentBool(value, "isMaster", kWhat);
    bool isOnline = VxMeta::documentBool(value, "isOnline", kWhat);
    return std::make_shared<Server>(std::move(dataCenter), std::move(url), isMaster, isOnline);
}

ClusterInfo::ClusterInfo(std::vector<ServerPtr> list, std::string tag) : ctag(std::move(tag)), members(std::move(list)) {}

std::shared_ptr<ClusterInfo> ClusterInfo::fromJson(const Json::Value& value) {
    if (value.empty()) {
        VXLOG(5, "ClusterInfo empty");
        return std::make_shared<ClusterInfo>(std::vector<ServerPtr>());
    }
    std::vector<ServerPtr> list;
    const Json::Value& members = VxMeta::documentMember(value, "members", kWhat);
    if (members.isArray()) {
        for (Json::ArrayIndex i = 0; i < members.size(); ++i) list.push_back(Server::fromJson(members[i]));
    }
    return std::make_shared<ClusterInfo>(std::move(list), VxMeta::documentText(value, "ctag", kWhat));
}

std::shared_ptr<ClusterInfo> ClusterInfo::forSingleServer(const UrlPtr& url) {
    return std::make_shared<ClusterInfo>(std::vector<ServerPtr>{std::make_shared<Server>("", url, true, true)});
}

} // namespace TarvexProtocol
