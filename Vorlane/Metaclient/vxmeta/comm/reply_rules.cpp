// The reply rules of the request executor: what a reply means, re-authorization of a refused token,
// the effects of the service's refusals, and the MFA retry.
#include <optional>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/comm/mfa_retry_model.h"
#include "vxmeta/comm/record_links.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {

constexpr char kMalformed[] = "HTTP Response is malformed";

// A member of an error reply read as text (numbers and bools in their text form); nullopt when it
// is an array or an object.
std::optional<std::string> replyText(const Json::Value& reply, const char* name) {
    const Json::Value* member = reply.find(name, name + std::char_traits<char>::length(name));
    if (!member) return std::string();
    if (member->isArray() || member->isObject()) return std::nullopt;
    return member->asString();
}

// Puts a flag back to true on every way out of a scope.
class RestoreTrue {
public:
    explicit RestoreTrue(bool& flag) : flag_(flag) {}
    ~RestoreTrue() { flag_ = true; }
    RestoreTrue(const RestoreTrue&) = delete;
    RestoreTrue& operator=(const RestoreTrue&) = delete;

private:
    bool& flag_;
};

[[noreturn]] void throwMalformed(VxMetaException& failure, const std::string& body) {
    failure.set(VXMECAT_PROTOCOL, kMalformed);
    failure.response = body;
    if (logLevelOn(1)) {
        std::string shown = body.size() > 50 ? body.substr(0, 50) + "(...)" : body;
        writeLog(1, "BAD HTTP Response text: %s", shown.c_str());
    }
    throw failure;
}

} // namespace

HttpResponsePtr VCSR::executeBusinessRules(const HttpRequestPtr& request) {
    verifyOnlineMode();

    VxMetaException failure(VXMECAT_COMMUNICATION_ERROR, std::string());
    failure.request = request->method->name + " " + request->url->fullUrl + "\n";
    if (!request->body.empty()) failure.request += request->body + "\n";

    HttpResponsePtr reply = executeLogging(request);
    lastStatus = reply->status;
    failure.httpStatus = reply->status;

    if (const std::string* stamp = findHeader(reply->headers, HEADER_MFA_TIMESTAMP_UPDATE)) {
        // A value that does not parse whole is stored as null, never as the part read before the error.
        Json::Value timestamp;
        if (!parse(*stamp, timestamp)) timestamp = Json::Value();
        setMfaTimestamp(timestamp);
    }

    std::string transportError = reply->errorMessage;
    if (reply->status >= 500) failure.set(VXMECAT_HTTP, transportError);
    if (transportError.empty() && reply->status == 503) {
        transportError = "Service is unavailable - probably down for maintenance";
    }
    if (!transportError.empty()) {
        failure.set(VXMECAT_COMMUNICATION_ERROR, transportError);
        if (netRelatedLogOK() && logLevelOn(2)) writeLog(2, "%s", transportError.c_str());
        throw failure;
    }
    netErrorCounter = 0;

    if ((reply->status == 401 || reply->status == 498) && useAccessToken) {
        VXLOG(4, "Getting a new access token");
        VCSR authorizer;
        authorizer.setPrefix(prefix);
        authenticateOnTheFly(authorizer);
        authorization = authorizer.authorization;
        VXLOG(4, "Got token - reissuing %s %s", request->method->name.c_str(), request->url->fullUrl.c_str());
        // The reissue is not re-authorized again; the flag is back once it has ended, in any way.
        RestoreTrue restore(useAccessToken);
        useAccessToken = false;
        HttpRequest::Builder reissue = request->toBuilder();
        reissue.addHeader(HEADER_AUTHORIZATION, authorization);
        return executeBusinessRules(reissue.build());
    }

    const std::string& body = reply->body;
    Json::Value parsed;
    bool isJson = !body.empty() && parse(body, parsed);
    bool success = reply->status >= 200 && reply->status <= 299;
    if (isJson && success) return reply;
    // An error reply is an object whose members are read as texts; anything else is no error reply.
    if (isJson && !parsed.isObject()) {
        if (reply->status >= 500) {
            failure.set(VXMECAT_HTTP, std::string());
            throw failure;
        }
        throwMalformed(failure, body);
    }
    if (!isJson) {
        if (reply->status >= 500) {
            failure.set(VXMECAT_HTTP, std::string());
            throw failure;
        }
        if (body.empty()) {
            std::string message = "HTTP Response for " + request->url->fullUrl + " is completely blank!";
            VXLOG(4, "%s", message.c_str());
            failure.set(VXMECAT_PROTOCOL, message);
            throw failure;
        }
        throwMalformed(failure, body);
    }

    // The service's error reply.
    std::optional<std::string> message = replyText(parsed, "Message");
    std::optional<std::string> reason = replyText(parsed, "reason");
    if (!message || !reason) throwMalformed(failure, body);
    failure.response = body;
    failure.set(VXMECAT_HTTP, *message);
    failure.reason = *reason;
    if (reply->status != 403) throw failure;

    if (*reason == VXMEREASON_UPGRADE) {
        std::optional<std::string> url = replyText(parsed, "url");
        if (!url) throwMalformed(failure, body);
        failure.set(VXMECAT_FORCEDUPGRADE, *message);
        failure.upgradeUrl = *url;
    } else if (*reason == VXMEREASON_CREDENTIALS) {
        logout();
    } else if (*reason == VXMEREASON_MFA_REQUIRED) {
        failure.set(VXMECAT_MFA_REQUIRED, *message);
        return refusedForMfa(request, parsed, failure);
    } else if (*reason == VXMEREASON_MFA_TOKEN_REQUIRED) {
        failure.set(VXMECAT_MFA_TOKEN_REQUIRED, *message);
    } else if (*reason == VXMEREASON_MFA_TOKEN_INVALID) {
        failure.set(VXMECAT_MFA_TOKEN_INVALID, *message);
    } else if (*reason == VXMEREASON_MFA_DENIED) {
        failure.set(VXMECAT_MFA_DENIED, *message);
    } else if (*reason == "Migration Required") {
        std::optional<std::string> email = replyText(parsed, "email");
        if (!email) throwMalformed(failure, body);
        failure.set(VXMECAT_MIGRATION_REQUIRED, *message);
        setIdentityEmail(*email);
    } else if (*reason == VXMEREASON_ACCOUNT_DISABLED) {
        failure.set(VXMECAT_ACCOUNT_DISABLED, *message);
        if (eq(appName, SCOPE_MDS)) {
            clearUserAllowAccess();
        } else {
            mdClearAll(false);
        }
    } else if (*reason == VXMEREASON_DEVICE_DISABLED) {
        failure.set(VXMECAT_DEVICE_NOT_ALLOWED, *message);
        mdClearAll(false);
        clearDeviceAllowAccess();
    } else if (*reason == VXMEREASON_NOT_MANAGED) {
        failure.set(VXMECAT_NOT_MANAGED, *message);
    } else if (*reason == "Policy Violation") {
        failure.set(VXMECAT_POLICY_VIOLATION, *message);
    }
    throw failure;
}

HttpResponsePtr VCSR::refusedForMfa(const HttpRequestPtr& request, const Json::Value& refusal, VxMetaException& failure) {
    MfaRetryModelFactory factory = mfaRetryModelFactory.load();
    if (!factory) throw failure; // no MFA model: this client cannot verify
    std::unique_ptr<MfaRetryModel> verification = factory(refusal, failure.message);
    std::string reason;
    if (!verification->canDoVerification(reason)) {
        if (!reason.empty()) failure.message = reason;
        throw failure;
    }
    for (;;) {
        std::string previous = verification->getToken();
        assertMasterLockNotHeld("an MFA wait");
        verification->wait();
        if (verification->getShouldLaunchCreateRemotely()) {
            verification->launchCreateTotpPairInBrowser();
            throw failure;
        }
        std::string token = verification->getToken();
        if (token.empty() || token == previous) throw failure;
        HttpRequest::Builder reissue = request->toBuilder();
        reissue.addHeader(HEADER_MFA, getMfaHeader(verification->headerFields()));
        try {
            return executeBusinessRules(reissue.build());
        } catch (const VxMetaException& refused) {
            if (refused.reason == VXMEREASON_MFA_CERTIFICATE_INVALID) {
                verification->certificateRefused();
            } else if (refused.reason != VXMEREASON_MFA_TOKEN_INVALID) {
                throw;
            }
        }
    }
}

} // namespace VxMeta
