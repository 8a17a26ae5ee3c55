#include "vxmeta/accounts/mfa_policy.h"

#include <cstdint>
#include <utility>

#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
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

// Whole seconds for a log line, held inside the range of int.
int wholeSeconds(double seconds) {
    if (!(seconds > -2147483648.0)) return INT32_MIN;
    if (!(seconds < 2147483647.0)) return INT32_MAX;
    return static_cast<int>(seconds);
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

Json::Value MfaCertificatePolicy::jvPkcs11Options;
std::mutex MfaCertificatePolicy::pkcs11OptionsMutex;

MfaCertificatePolicy::MfaCertificatePolicy() : messageNoPairsInstalled(MFA_CERTIFICATE_POLICY_MESSAGE_NO_PAIRS_INSTALLED_DEFAULT) {}

MfaCertificatePolicy::MfaCertificatePolicy(bool isValid, std::string id, bool isAllowed,
                                           std::vector<std::string> subjects, std::vector<std::string> issuers,
                                           std::string noPairsInstalled)
    : valid(isValid), policyId(std::move(id)), allowed(isAllowed), subjectFilters(std::move(subjects)),
      issuerFilters(std::move(issuers)), messageNoPairsInstalled(std::move(noPairsInstalled)) {}

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

bool MfaCertificatePolicy::getAllowed() const {
    checkValid();
    return allowed;
}

std::set<std::string> MfaCertificatePolicy::getBlacklist() const {
    LockScope lock(masterMutex);
    checkValid();
    std::set<std::string> blacklist;
    if (!myPersists) return blacklist;
    const Json::Value& entry = member(myPersists->mfaCertificateBlacklists, policyId.c_str());
    if (!entry.isArray()) return blacklist;
    for (const Json::Value& value : entry) {
        if (value.isString()) blacklist.insert(value.asString());
    }
    return blacklist;
}

void MfaCertificatePolicy::addToBlacklist(const std::string& associationValue) const {
    LockScope lock(masterMutex);
    checkValid();
    if (!myPersists || policyId.empty() || associationValue.empty()) return;
    Json::Value blacklists = myPersists->mfaCertificateBlacklists;
    if (!blacklists.isObject()) blacklists = Json::Value(Json::objectValue);
    Json::Value& entry = blacklists[policyId];
    if (!entry.isArray()) entry = Json::Value(Json::arrayValue);
    entry.append(associationValue);
    if (blacklists != myPersists->mfaCertificateBlacklists) {
        myPersists->mfaCertificateBlacklists = blacklists;
        myPersists->localDirty = true;
    }
    VXLOG(5, "MFA Certificate=%s, added to blacklist for %s", associationValue.c_str(), policyId.c_str());
}

Json::Value MfaCertificatePolicy::getPkcs11Configuration(const std::string& platform, const std::string& architecture) {
    LockScope sync(syncMutex);
    try {
        VCSR executor;
        const std::string path =
            qualifySuffix("ua/PKCS11Drivers", "platform", platform) + querySuffix2("architecture", architecture);
        Json::Value configuration;
        if (!mayParse(executor.get(path), configuration)) configuration = Json::Value();
        LockScope master(masterMutex);
        if (myPersists && myPersists->pkcs11Config != configuration) {
            myPersists->pkcs11Config = configuration;
            myPersists->localDirty = true;
        }
        return configuration;
    } catch (...) {
        // Reports no failure (a failover signal included): the configuration fetched last serves
        // while the service cannot be reached.
        LockScope master(masterMutex);
        return myPersists ? myPersists->pkcs11Config : Json::Value();
    }
}

Json::Value MfaCertificatePolicy::getPkcs11Options() {
    std::lock_guard<std::mutex> guard(pkcs11OptionsMutex);
    return jvPkcs11Options;
}

bool MfaCertificatePolicy::setPkcs11Options(const Json::Value& options) {
    const Json::Value& lib = member(options, "lib");
    if (!lib.isString()) return false;
    Json::Value drivers;
    {
        LockScope master(masterMutex);
        if (!myPersists) return false;
        drivers = myPersists->pkcs11Config;
    }
    if (!drivers.isArray()) return false;
    for (const Json::Value& driver : drivers) {
        const Json::Value& path = member(driver, "path");
        if (path.isString() && path.asString() == lib.asString()) {
            std::lock_guard<std::mutex> guard(pkcs11OptionsMutex);
            jvPkcs11Options = options;
            return true;
        }
    }
    return false;
}

MfaTotpPolicy::MfaTotpPolicy()
    : messagePrompt(MFA_TOTP_POLICY_MESSAGE_PROMPT_DEFAULT),
      messageNoPairsCanCreate(MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CAN_CREATE_DEFAULT),
      messageNoPairsCannotCreate(MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CANNOT_CREATE_DEFAULT) {}

MfaTotpPolicy::MfaTotpPolicy(bool isValid, bool isAllowed, std::string prompt, std::string noPairsCanCreate,
                             std::string noPairsCannotCreate)
    : valid(isValid), allowed(isAllowed), messagePrompt(std::move(prompt)),
      messageNoPairsCanCreate(std::move(noPairsCanCreate)), messageNoPairsCannotCreate(std::move(noPairsCannotCreate)) {}

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

bool MfaTotpPolicy::getAllowed() const {
    checkValid();
    return allowed;
}

std::string MfaTotpPolicy::getMessageNoPairsCannotCreate() const {
    checkValid();
    return messageNoPairsCannotCreate;
}

MfaPolicy::MfaPolicy() = default;

MfaPolicy::MfaPolicy(bool isValid, Json::Value json, bool isRequired, bool notify,
                     std::map<std::string, MfaRequirement> byAction, MfaCertificatePolicy certificate,
                     MfaTotpPolicy totp)
    : valid(isValid), policyJson(std::move(json)), required(isRequired), notifyUserToAddMfa(notify),
      requirements(std::move(byAction)), certificatePolicy(std::move(certificate)), totpPolicy(std::move(totp)) {}

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

bool MfaPolicy::getRequired() const {
    checkValid();
    return required;
}

bool MfaPolicy::shouldNotifyUserToAddMfa() const {
    checkValid();
    return notifyUserToAddMfa;
}

MfaRequirement MfaPolicy::getRequirement(const std::string& action) const {
    checkValid();
    if (required) {
        auto found = requirements.find(action);
        if (found != requirements.end()) return found->second;
    }
    return MfaRequirement();
}

std::set<std::string> MfaPolicy::getAllowedKinds() const {
    checkValid();
    std::set<std::string> kinds;
    if (!required) return kinds;
    if (certificatePolicy.getAllowed()) kinds.insert(MFA_KIND_CERTIFICATE);
    if (totpPolicy.getAllowed()) kinds.insert(MFA_KIND_TOTP);
    return kinds;
}

MfaCertificatePolicy MfaPolicy::getCertificatePolicy() const {
    checkValid();
    return certificatePolicy;
}

MfaTotpPolicy MfaPolicy::getTotpPolicy() const {
    checkValid();
    return totpPolicy;
}

bool MfaPolicy::stillClientVerified(const MfaRequirement& requirement) const {
    const char* action = requirement.action.c_str();
    const int32_t grace = requirement.gracePeriod;
    if (grace <= 0) {
        VXLOG(5, "MFA requirement=\"%s\", no grace period", action);
        return false;
    }
    if (clientVerifiedTime <= 0) {
        VXLOG(5, "MFA requirement=\"%s\", no client-side verification performed", action);
        return false;
    }
    const double elapsed = static_cast<double>(nowSeconds() - static_cast<int64_t>(clientVerifiedTime));
    const int elapsedSeconds = wholeSeconds(elapsed);
    if (elapsed > grace) {
        VXLOG(5, "MFA requirement=\"%s\", outside of defined grace period=%d (%d)", action, grace, elapsedSeconds);
        return false;
    }
    if (clientVerifiedDuration <= 0 || elapsed > clientVerifiedDuration) {
        VXLOG(5, "MFA requirement=\"%s\", client-side verification expired after %d seconds (%d seconds have passed)",
              action, wholeSeconds(clientVerifiedDuration), elapsedSeconds);
        return false;
    }
    VXLOG(5, "MFA requirement=\"%s\", still within defined grace period=%d (%d)", action, grace, elapsedSeconds);
    return true;
}

} // namespace VxMeta
