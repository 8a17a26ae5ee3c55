// The MFA model as the reply rules see it when the service demands multi-factor authentication:
// one verification that the application is asked to answer, and the hook through which the accounts
// area supplies it. Without a model installed the client cannot verify, and the demand is reported.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <json/value.h>

#include "vxmeta/comm/mfa_header.h"

namespace VxMeta {

class MfaRetryModel {
public:
    virtual ~MfaRetryModel();

    // Whether the application can be asked now. When it cannot because the user has no usable
    // pairing and none can be created, `reason` receives the policy's text for that case.
    virtual bool canDoVerification(std::string& reason) = 0;
    // Hands the verification to the application and blocks until it has answered.
    virtual void wait() = 0;
    // The application asked to open the remote pairing page instead of verifying.
    virtual bool getShouldLaunchCreateRemotely() const = 0;
    // Opens that page; may throw, and its failure replaces the MFA demand.
    virtual void launchCreateTotpPairInBrowser() = 0;
    virtual std::string getToken() const = 0;
    // The answered verification's part of the "X-VX-MFA" header.
    virtual MfaHeaderFields headerFields() const = 0;
    // The service refused the answer's certificate: blacklist a new certificate pairing, then drop
    // the new pairing, the token and the pair id.
    virtual void certificateRefused() = 0;
};

// Builds the verification from the service's refusal body (its "policy", "pairs", "action" and
// "challenge"). A problem with the policy or a pairing replaces `message` and is otherwise ignored;
// an invalid MFA policy throws, and that failure becomes the request's.
using MfaRetryModelFactory = std::unique_ptr<MfaRetryModel> (*)(const Json::Value& refusal, std::string& message);
extern std::atomic<MfaRetryModelFactory> mfaRetryModelFactory;

} // namespace VxMeta
