// Action: the JSON request body of an account request (sign-in, account transfer, managed sign-in,
// migration, credential check, account creation) and the one call that posts it and reads the reply.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

#include <json/value.h>

#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class Credentials;

class Action {
public:
    // An empty (null) body; the flag changes nothing.
    Action();
    explicit Action(bool mfa);

    // Sets the member `name`; setting it again replaces the value.
    void encode(const std::string& name, const std::string& value);
    void encode(const std::string& name, const char* value);
    void encode(const std::string& name, int64_t value);
    void encode(const std::string& name, int32_t value);
    void encode(const std::string& name, bool value);
    // Any JSON value (a member read from another body).
    void encode(const std::string& name, const Json::Value& value);
    // The credentials' members: "loginSalt", "loginRounds", "loginToken" (wrapped for the service's
    // public key), and "challenge" with "signature" only when a challenge signature exists.
    void encode(Credentials& credentials);
    // A record's server form under its stem (the SID, PID, User and Device records).
    template <class T>
        requires std::derived_from<T, VxMetadata>
    void encode(T& record) {
        body[record.stem()] = record.toJSONValue(true);
    }

    // The device member ("deviceId" when the device record is registered to `ownerUrn`, else
    // "deviceName"; a device registered to another owner loses its id and URN, so that it is
    // registered again), then "appName", "appVersion" and "platform", each when not empty.
    void encodeDeviceAppPlatformInfo(const std::string& ownerUrn);

    // The body as compact JSON text with a final line end.
    std::string toJson() const;
    // POSTs the body to the API path through a new request executor with the two flags; the parsed
    // reply (null when it is not JSON). Failures of the request pass through.
    Json::Value perform(const std::string& path, bool useAccessToken, bool implicitAuth) const;

private:
    Json::Value body;
};

} // namespace VxMeta
