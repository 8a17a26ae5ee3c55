#include "vxmeta/accounts/mfa_policy.h"

#include <utility>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/team_data.h"

namespace VxMeta {

namespace {

// The member when json is an object holding it; null otherwise.
const Json::Value& member(const Json::Value& json, const char* key) {
    static const Json::Value none;
    if (!json.isObject()) return none;
    const Json::Value* found = json.find(key, key + std::char_traits<char>::length(key));
    return found ? *found : none;
}

bool nonEmptyObject(const Json::Value& value) { return value.isObject() && !value.empty(); }

void readBool(const Json::Value& json, const char* key, bool& out) {
    const Json::Value& value = member(json, key);
    if (value.isBool()) out = value.asBool();
}

// A number that reads as a 32-bit integer (a real with an integral value in range too).
void readInt(const Json::Value& json, const char* key, int32_t& out) {
    const Json::Value& value = member(json, key);
    if (value.isInt() && !value.isBool()) out = value.asInt();
}

void readFilters(const Json::Value& json, const char* key, std::vector<std::string>& out) {
    const Json::Value& value = member(json, key);
    if (value.isString()) out = splitParts(value.asString(), ",");
}

// The datum's value parsed; null when it is not JSON.
Json::Value parsedValue(const TeamData& teamData) {
    Json::Value value;
    if (!mayParse(teamData.value, value)) return Json::Value();
    return value;
}

// The sub-policy member ("certificate", "totp") of a verified datum's value; null when absent.
const Json::Value& subPolicy(const Json::Value& document, const char* key) {
    static const Json::Value none;
    if (!nonEmptyObject(document)) return none;
    const Json::Value& value = member(document, key);
    return nonEmptyObject(value) ? value : none;
}

bool unverified(const TeamData& teamData) {
    if (teamData.verified == 1) return false;
    VXLOG(2, "Teamdata=%s signature invalid", teamData.geturn().c_str());
    return true;
}

} // namespace

void throwMfaPolicyInvalid() {
    throw VxMetaException(VXMECAT_INVALID_SIGNATURE, "Multi-factor authentication policy signature is invalid. "
                                                     "Possible forgery. Contact your system administrator.");
}

bool getStringMemberValueFromJson(const Json::Value& json, const char* key, std::string& out) {
    const Json::Value& value = member(json, key);
    if (!value.isString() || value.asString().empty()) return false;
    out = value.asString();
    return true;
}

MfaRequirement::MfaRequirement(std::string requirementAction, bool isClientProtected, bool second, int32_t grace)
    : action(std::move(requirementAction)), clientProtected(isClientProtected), secondFlag(second), gracePeriod(grace) {}

MfaRequirement MfaRequirement::create(const std::string& action, const Json::Value& json) {
    MfaRequirement requirement;
    requirement.action = action;
    if (!nonEmptyObject(json)) return requirement;
    int32_t mode = 0;
    const Json::Value& modeValue = member(json, "mode");
    if (modeValue.isInt() && !modeValue.isBool()) {
        mode = modeValue.asInt();
        requirement.clientProtected = (mode & 1) != 0;
        requirement.secondFlag = (mode & 2) != 0;
    }
    readInt(json, "gracePeriod", requirement.gracePeriod);
    return requirement;
}

MfaCertificatePolicy::MfaCertificatePolicy() : messageNoPairsInstalled(MFA_CERTIFICATE_POLICY_MESSAGE_NO_PAIRS_INSTALLED_DEFAULT) {}

MfaCertificatePolicy MfaCertificatePolicy::fromTeamData(const TeamData& teamData) {
    MfaCertificatePolicy policy;
    if (unverified(teamData)) {
        policy.valid = false;
        return policy;
    }
    policy.policyId = teamData.geturn() + ":" + teamData.updated_at;
    const Json::Value document = parsedValue(teamData);
    const Json::Value& json = subPolicy(document, "certificate");
    readBool(json, "allowed", policy.allowed);
    readFilters(json, "issuerFilter", policy.issuerFilters);
    readFilters(json, "subjectFilter", policy.subjectFilters);
    getStringMemberValueFromJson(json, "messageNoPairsInstalled", policy.messageNoPairsInstalled);
    return policy;
}

void MfaCertificatePolicy::checkValid() const {
    if (!valid) throwMfaPolicyInvalid();
}

MfaTotpPolicy::MfaTotpPolicy()
    : messagePrompt(MFA_TOTP_POLICY_MESSAGE_PROMPT_DEFAULT),
      messageNoPairsCanCreate(MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CAN_CREATE_DEFAULT),
      messageNoPairsCannotCreate(MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CANNOT_CREATE_DEFAULT) {}

MfaTotpPolicy MfaTotpPolicy::fromTeamData(const TeamData& teamData) {
    MfaTotpPolicy policy;
    if (unverified(teamData)) {
        policy.valid = false;
        return policy;
    }
    const Json::Value document = parsedValue(teamData);
    const Json::Value& json = subPolicy(document, "totp");
    readBool(json, "allowed", policy.allowed);
    getStringMemberValueFromJson(json, "messagePrompt", policy.messagePrompt);
    getStringMemberValueFromJson(json, "messageNoPairsCanCreate", policy.messageNoPairsCanCreate);
    getStringMemberValueFromJson(json, "messageNoPairsCannotCreate", policy.messageNoPairsCannotCreate);
    return policy;
}

void MfaTotpPolicy::checkValid() const {
    if (!valid) throwMfaPolicyInvalid();
}

MfaPolicy::MfaPolicy() = default;

MfaPolicy MfaPolicy::fromTeamData(const TeamData& teamData) {
    MfaPolicy policy;
    if (unverified(teamData)) {
        policy.valid = false;
        return policy;
    }
    policy.policyJson = parsedValue(teamData);
    if (nonEmptyObject(policy.policyJson)) {
        readBool(policy.policyJson, "required", policy.required);
        readBool(policy.policyJson, "notifyUserToAddMFA", policy.notifyUserToAddMfa);
        for (const std::string& action : MFA_ACTIONS) {
            const Json::Value& json = member(policy.policyJson, action.c_str());
            if (nonEmptyObject(json)) policy.requirements[action] = MfaRequirement::create(action, json);
        }
    }
    policy.certificatePolicy = MfaCertificatePolicy::fromTeamData(teamData);
    policy.totpPolicy = MfaTotpPolicy::fromTeamData(teamData);
    return policy;
}

void MfaPolicy::checkValid() const {
    if (!valid) throwMfaPolicyInvalid();
}

void MfaPolicy::setClientVerified(time_t time, double duration) {
    clientVerifiedTime = time;
    clientVerifiedDuration = duration;
}

void MfaPolicy::setClientVerified(const MfaPolicy& other) {
    clientVerifiedTime = other.clientVerifiedTime;
    clientVerifiedDuration = other.clientVerifiedDuration;
}

} // namespace VxMeta
