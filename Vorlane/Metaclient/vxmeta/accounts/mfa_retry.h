// The MFA model of the request pipeline's retry (comm/mfa_retry_model.h): when the service refuses a
// request for MFA, the verification is built from the refusal (its signed policy, the user's
// pairings, the action and the challenge) and handed to the host through the registered callback.
#pragma once

#include <memory>
#include <string>

#include <json/value.h>

#include "vxmeta/comm/mfa_retry_model.h"

namespace VxMeta {

// The pipeline's factory: the verification for a refusal. A policy or pairing of the refusal that
// cannot be read replaces `message` and is left out; an invalid policy throws the forgery error.
std::unique_ptr<MfaRetryModel> makeMfaRetryModel(const Json::Value& refusal, std::string& message);

} // namespace VxMeta
