#include "vxmeta/accounts/action.h"

#include "vxmeta/access/credentials.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

Action::Action() = default;

Action::Action(bool /*mfa*/) {}

void Action::encode(const std::string& name, const std::string& value) { body[name] = value; }

void Action::encode(const std::string& name, const char* value) { body[name] = std::string(value); }

void Action::encode(const std::string& name, int64_t value) { body[name] = Json::Int64(value); }

void Action::encode(const std::string& name, int32_t value) { body[name] = Json::Int(value); }

void Action::encode(const std::string& name, bool value) { body[name] = value; }

void Action::encode(const std::string& name, const Json::Value& value) { body[name] = value; }

void Action::encode(Credentials& credentials) {
    encode("loginSalt", credentials.getLoginSalt());
    encode("loginRounds", credentials.getLoginRounds());
    encode("loginToken", credentials.getLoginToken(servicePublicKey()));
    const std::string signature = credentials.getSignature();
    if (!signature.empty()) {
        encode("challenge", credentials.getChallenge());
        encode("signature", signature);
    }
}

void Action::encodeDeviceAppPlatformInfo(const std::string& ownerUrn) {
    {
        LockScope lock(masterMutex);
        if (myDevice && myDevice->id > 0) {
            if (myDevice->owner == ownerUrn) {
                encode("deviceId", myDevice->id);
            } else {
                myDevice->id = 0;
                myDevice->urn.clear();
                if (!deviceName.empty()) encode("deviceName", deviceName);
            }
        } else if (!deviceName.empty()) {
            encode("deviceName", deviceName);
        }
    }
    if (!appName.empty()) encode("appName", appName);
    if (!appVersion.empty()) encode("appVersion", appVersion);
    if (!platformType.empty()) encode("platform", platformType);
}

std::string Action::toJson() const { return jsonString(body) + "\n"; }

Json::Value Action::perform(const std::string& path, bool useAccessToken, bool implicitAuth) const {
    VCSR executor;
    executor.useAccessToken = useAccessToken;
    executor.implicitAuth = implicitAuth;
    return parseJson(executor.post(path, toJson()));
}

} // namespace VxMeta
