// Challenge authorization of the request executor: the server's challenge is answered and the access
// token it returns is kept for that server. The proof of identity (the signature over the challenge,
// the login token of a password account) joins when the user's credentials and identity exist.
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

int64_t VCSR::getAccessToken(int64_t accountId, const std::string& email) {
    ClusterServerPtr server = getMyClusterServers()->getServerForUrl(getPrefix());
    server->setAccessToken(std::string());
    useAccessToken = false;

    Json::Value answer = parseJson(get("challenge" + querySuffix("urn", std::string())));
    asObject(answer, "the challenge reply");
    if (accountId != 0) {
        answer["id"] = Json::Int64(accountId);
    } else {
        answer["email"] = email;
    }
    if (!appName.empty()) answer["appName"] = appName;
    if (!appVersion.empty()) answer["appVersion"] = appVersion;
    if (!deviceName.empty()) answer["deviceName"] = deviceName;
    if (!platformType.empty()) answer["platform"] = platformType;

    Json::Value reply = parseJson(post("challenge", jsonString(answer) + "\n"));
    authorization = "V2 " + jsonText(reply, "access_token");
    server->setAccessToken(authorization);
    return accountId != 0 ? accountId : jsonInt(reply, "id");
}

} // namespace VxMeta
