// MfaPolicy: a team's multi-factor authentication policy as the client holds it, built from the
// signed "MFAPolicy" team datum: whether MFA is required, what each action (login, encrypt, decrypt)
// requires, the certificate and TOTP sub-policies, and when the last client-side verification
// succeeded. A policy built from a datum whose signature did not check is invalid ("Possible
// forgery"). Plain values: the global one lives in the global state, read and written under the
// master lock. The certificate sub-policy also reaches the certificate blacklist (kept in the
// Persists record) and the PKCS#11 driver settings offered to the host.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
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
    bool getSecondFlag() const { return secondFlag; }
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
    MfaCertificatePolicy(bool valid, std::string policyId, bool allowed, std::vector<std::string> subjectFilters,
                         std::vector<std::string> issuerFilters, std::string messageNoPairsInstalled);
    static MfaCertificatePolicy fromTeamData(const TeamData& teamData);
    bool getValid() const { return valid; }
    // Fails with the forgery error when not valid.
    void checkValid() const;
    // checkValid, then whether certificate pairings may satisfy MFA.
    bool getAllowed() const;

    // Under the master lock, after checkValid: the association values blacklisted under this
    // policy's id in the Persists record's "mfaCertificateBlacklists" (texts only; empty without a
    // Persists record or an entry).
    std::set<std::string> getBlacklist() const;
    // Under the master lock, after checkValid: appends the value to this policy's entry (created
    // when missing) and marks the Persists record locally changed. Nothing happens without a
    // Persists record, without a policy id or for an empty value.
    void addToBlacklist(const std::string& associationValue) const;

    // For the host (nothing in this library calls them). Under the sync lock: GET
    // "ua/PKCS11Drivers?platform=..&architecture=.." and keep the reply as the Persists record's
    // "pkcs11Config"; when anything fails, the configuration stored last (null when none).
    static Json::Value getPkcs11Configuration(const std::string& platform, const std::string& architecture);
    // The options the host selected last (null until set).
    static Json::Value getPkcs11Options();
    // Takes the options when their text "lib" is the "path" of a driver in the stored configuration;
    // false (the old options stay) otherwise.
    static bool setPkcs11Options(const Json::Value& options);

    bool valid = true;
    // The policy record's URN ":" its "updated_at": the key of the certificate blacklist.
    std::string policyId;
    bool allowed = false;
    std::vector<std::string> subjectFilters;
    std::vector<std::string> issuerFilters;
    std::string messageNoPairsInstalled;

private:
    // The PKCS#11 options the host selected last; process memory only, read and written under its
    // own lock (a leaf).
    static Json::Value jvPkcs11Options;
    static std::mutex pkcs11OptionsMutex;
};

// TOTP pairings: allowed or not, and the messages shown to the user.
class MfaTotpPolicy {
public:
    MfaTotpPolicy();
    MfaTotpPolicy(bool valid, bool allowed, std::string messagePrompt, std::string messageNoPairsCanCreate,
                  std::string messageNoPairsCannotCreate);
    static MfaTotpPolicy fromTeamData(const TeamData& teamData);
    bool getValid() const { return valid; }
    void checkValid() const;
    // Each checkValid first.
    bool getAllowed() const;
    std::string getMessageNoPairsCannotCreate() const;

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
    // The client verification starts at 0 (never).
    MfaPolicy(bool valid, Json::Value policyJson, bool required, bool notifyUserToAddMfa,
              std::map<std::string, MfaRequirement> requirements, MfaCertificatePolicy certificatePolicy,
              MfaTotpPolicy totpPolicy);
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

    // Each checkValid first.
    bool getRequired() const;
    bool shouldNotifyUserToAddMfa() const;
    // The action's requirement when MFA is required and the policy names the action; otherwise the
    // default requirement (no action, not protected, no grace period).
    MfaRequirement getRequirement(const std::string& action) const;
    // The kinds that may satisfy MFA: none unless required; "Certificate" and "TOTP" as their
    // sub-policies allow.
    std::set<std::string> getAllowedKinds() const;
    MfaCertificatePolicy getCertificatePolicy() const;
    MfaTotpPolicy getTotpPolicy() const;
    // Whether the last client verification still covers the requirement: neither the action's grace
    // period nor the verification's own duration has run out (a limit is passed only when more time
    // has elapsed). Does not check validity.
    bool stillClientVerified(const MfaRequirement& requirement) const;

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
