// Challenge authorization of the request executor (VCSR::getAccessToken, declared with the executor):
// the server's login challenge is answered with a signature over it, and for an account with a login
// password with the login token wrapped for the service's key; the access token it returns is kept
// for that server.
#include <limits>

#include "vxmeta/access/credentials.h"
#include "vxmeta/access/state_seam.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_signing.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

namespace {

int32_t loginRoundsOf(const Json::Value& challengeReply) {
    const int64_t rounds = jsonInt(challengeReply, "loginRounds");
    if (rounds < std::numeric_limits<int32_t>::min() || rounds > std::numeric_limits<int32_t>::max())
        throw VxMetaException(VXMECAT_PROTOCOL, "Challenge reply has an invalid loginRounds");
    return static_cast<int32_t>(rounds);
}

} // namespace

int64_t VCSR::getAccessToken(int64_t accountId, const std::string& email) {
    ClusterServerPtr server = getMyClusterServers()->getServerForUrl(getPrefix());
    server->setAccessToken(std::string());
    useAccessToken = false;

    std::string urn;
    int64_t deviceId = 0;
    {
        LockScope lock(masterMutex);
        if (myPID) urn = myPID->urn;
        if (myDevice) deviceId = myDevice->id;
    }
    Json::Value answer = parseJson(get("challenge" + querySuffix("urn", urn)));
    asObject(answer, "the challenge reply");
    const std::string challenge = jsonText(answer, "challenge");
    const std::string salt = jsonText(answer, "loginSalt");
    if (!salt.empty()) {
        const int32_t rounds = loginRoundsOf(answer);
        // The server chose the round count: the key is derived without the master lock, from what
        // is read under it, and kept under it.
        std::string password;
        bool derive = false;
        {
            LockScope lock(masterMutex);
            Credentials& credentials = globalCredentials();
            password = credentials.getPassword();
            derive = !password.empty() && rounds > 0 && !credentials.holdsKeyFor(salt, rounds);
        }
        const std::string key = derive ? Credentials::deriveKey(password, salt, rounds) : std::string();
        LockScope lock(masterMutex);
        Credentials& credentials = globalCredentials();
        credentials.setParameters(urn, salt, rounds, challenge);
        credentials.adoptKey(password, salt, rounds, key);
        answer["loginToken"] = credentials.getLoginToken(servicePublicKey());
        answer["signature"] = credentials.getSignature();
    } else {
        answer["signature"] = signText(challenge);
    }
    if (accountId != 0) {
        answer["id"] = Json::Int64(accountId);
    } else {
        answer["email"] = email;
    }
    if (!appName.empty()) answer["appName"] = appName;
    if (!appVersion.empty()) answer["appVersion"] = appVersion;
    if (deviceId > 0) {
        answer["deviceId"] = Json::Int64(deviceId);
    } else if (!deviceName.empty()) {
        answer["deviceName"] = deviceName;
    }
    if (!platformType.empty()) answer["platform"] = platformType;

    Json::Value reply = parseJson(post("challenge", jsonString(answer) + "\n"));
    asObject(reply, "the challenge answer's reply");
    // A reply without a token would leave the server with one that every request is refused for.
    const std::string token = jsonText(reply, "access_token");
    if (token.empty()) throw VxMetaException(VXMECAT_PROTOCOL, "Challenge reply has no access token");
    authorization = "V2 " + token;
    server->setAccessToken(authorization);
    return accountId != 0 ? accountId : jsonInt(reply, "id");
}

} // namespace VxMeta
