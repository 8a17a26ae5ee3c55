// MfaPolicy: a team's multi-factor authentication policy as the client holds it, built from the
// signed "MFAPolicy" team datum: whether MFA is required, what each action (login, encrypt, decrypt)
// requires, the certificate and TOTP sub-policies, and when the last client-side verification
// succeeded. A policy built from a datum whose signature did not check is invalid ("Possible
// forgery"). Plain values: the global one lives in the global state and is replaced whole.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <json/value.h>

namespace VxMeta {

class TeamData;

// What one action requires.
class MfaRequirement {
public:
    MfaRequirement() = default;
    MfaRequirement(std::string action, bool clientProtected, bool secondFlag, int32_t gracePeriod);
    // From the action's member of the policy document: "mode" bit 0 protects the action on the
    // client, bit 1 is the second flag; "gracePeriod" in seconds. Other content leaves the defaults.
    static MfaRequirement create(const std::string& action, const Json::Value& json);

    const std::string& getAction() const { return action; }
    bool getClientProtected() const { return clientProtected; }
    int32_t getGracePeriod() const { return gracePeriod; }

    std::string action;
    bool clientProtected = false;
    bool secondFlag = false;
    int32_t gracePeriod = 0;
};

// Certificate pairings: allowed or not, the filters for the host, the message without a pairing.
class MfaCertificatePolicy {
public:
    MfaCertificatePolicy();
    static MfaCertificatePolicy fromTeamData(const TeamData& teamData);
    bool getValid() const { return valid; }
    // Fails with the forgery error when not valid.
    void checkValid() const;

    bool valid = true;
    // The policy record's URN ":" its "updated_at": the key of the certificate blacklist.
    std::string policyId;
    bool allowed = false;
    std::vector<std::string> subjectFilters;
    std::vector<std::string> issuerFilters;
    std::string messageNoPairsInstalled;
};

// TOTP pairings: allowed or not, and the messages shown to the user.
class MfaTotpPolicy {
public:
    MfaTotpPolicy();
    static MfaTotpPolicy fromTeamData(const TeamData& teamData);
    bool getValid() const { return valid; }
    void checkValid() const;

    bool valid = true;
    bool allowed = false;
    std::string messagePrompt;
    std::string messageNoPairsCanCreate;
    std::string messageNoPairsCannotCreate;
};

class MfaPolicy {
public:
    // A valid policy that requires nothing.
    MfaPolicy();
    // From an "MFAPolicy" team datum; invalid unless the datum's signature checked (verified 1).
    // Content that cannot be read leaves defaults; never fails.
    static MfaPolicy fromTeamData(const TeamData& teamData);

    bool getValid() const { return valid; }
    // Fails with the forgery error when not valid.
    void checkValid() const;
    // When the last client-side verification succeeded, and how long it stays good.
    void setClientVerified(time_t time, double duration);
    // Takes over another policy's client verification.
    void setClientVerified(const MfaPolicy& other);

    bool valid = true;
    time_t clientVerifiedTime = 0;
    double clientVerifiedDuration = 0;
    Json::Value policyJson;
    bool required = false;
    bool notifyUserToAddMfa = false;
    std::map<std::string, MfaRequirement> requirements;
    MfaCertificatePolicy certificatePolicy;
    MfaTotpPolicy totpPolicy;
};

// Throws the forgery error: "Invalid Signature", "Multi-factor authentication policy signature is
// invalid. Possible forgery. Contact your system administrator."
[[noreturn]] void throwMfaPolicyInvalid();
// Sets out to json[key] when json is an object whose member is a non-empty text; whether it did.
bool getStringMemberValueFromJson(const Json::Value& json, const char* key, std::string& out);

} // namespace VxMeta
