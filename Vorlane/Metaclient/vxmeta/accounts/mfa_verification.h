// The MFA verification model: what the library knows of each kind of second factor (certificate,
// TOTP), what this client can verify and create (the capable kinds its host declares), and
// MfaVerification, one question put to the host with its answer and the decisions whether the
// question can and must be asked. Also the process-wide MFA time stamp the service hands out.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <json/value.h>

#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/thread_scoped_value.h"

namespace VxMeta {

class MFAPair;

// One kind of second factor. Every "ableTo" decision takes the master lock for its own duration.
class MfaVerificationKindDetails {
public:
    MfaVerificationKindDetails(std::string kind, bool canBeVerifiedOffline, bool createRemotely,
                               bool createLocallyWithoutLogin);

    const std::string& getKind() const { return kind_; }
    bool canBeVerifiedOffline() const { return canBeVerifiedOffline_; }
    // This client can verify the kind, and without the service.
    bool ableToVerifyOffline() const;
    // This client can verify the kind.
    bool ableToVerifyOnline() const;
    // This client can create a pairing of the kind here (while nobody is logged in only when the
    // kind allows it).
    bool ableToCreateLocally() const;
    // This client can create the kind, the kind is created on the service's page, and the calling
    // thread has not turned that off (launchCreateRemotely).
    bool ableToCreateRemotely() const;
    // Turns remote creation off for the calling thread until the handle is released.
    std::shared_ptr<ThreadScopedValue::ScopedValue_Auto<bool>> launchCreateRemotely() const;

private:
    std::string kind_;
    bool canBeVerifiedOffline_;
    bool createRemotely_;
    bool createLocallyWithoutLogin_;
    std::shared_ptr<ThreadScopedValue::Value<bool>> remoteCreationSwitch;
};

using MfaVerificationKindDetailsMap = std::map<std::string, std::shared_ptr<MfaVerificationKindDetails>>;
// "Certificate": verified offline, not created remotely, created locally without login;
// "TOTP": verified only with the service, created remotely, not created without login.
MfaVerificationKindDetailsMap createVerificationKindDetailsMap();
// Built when the library is loaded; never changed.
extern const MfaVerificationKindDetailsMap verificationKindDetailsMap;

// One MFA question and, once the host answered, its answer. A value: the host gets a copy and hands
// the answer back in the expectant's result (mfa_verification_callback.h).
class MfaVerification {
public:
    using PairSet = std::set<std::shared_ptr<MFAPair>>;

    MfaVerification();
    // Fails with the forgery error when the policy is not valid. Keeps the pairs of the kinds this
    // client can verify under the policy, by kind.
    MfaVerification(const MfaPolicy& policy, const std::vector<std::shared_ptr<MFAPair>>& pairs, bool clientSide,
                    std::string action, std::string challenge);

    // The kinds of the set that this client can verify and that have details; under the master lock.
    static std::set<std::string> filterToVerificationKinds(const std::set<std::string>& kinds);
    // Whether the client itself must verify before the action goes on (only on the client side).
    bool needsClientVerification() const;
    // Whether the host can be asked now; every refusal is logged, and only "no usable pairing and
    // none can be created" fills `reason` (with the TOTP policy's text for it).
    bool canDoVerification(std::string& reason) const;
    // A user is logged in and some kind the policy allows and this client can verify can be created
    // on the service's page.
    static bool canLaunchToCreateRemotely(const MfaPolicy& policy);

    // Questions for the host's callback.
    bool canVerifyKind(const std::string& kind) const;
    bool canCreateNewPairLocallyOfKind(const std::string& kind) const;
    bool canLaunchToCreateRemotelyOfKind(const std::string& kind) const;

    std::string getToken() const { return token; }
    int64_t getPairId() const { return pairId; }
    std::string getChallenge() const { return challenge; }
    double getDuration() const { return duration; }
    std::shared_ptr<MFAPair> getNewPair() const { return newPair; }
    bool getShouldLaunchCreateRemotely() const { return shouldLaunchCreateRemotely; }
    // Drops the new pairing, the token and the pair id.
    void clearNewPair();

    // The MFA time stamp the service handed out last (null until one came), under the master lock.
    static Json::Value getTimestamp();
    static void setTimestamp(const Json::Value& timestamp);

    // The question.
    std::string action;
    std::string challenge;
    bool clientSide = false;
    MfaPolicy policy;
    std::set<std::string> allowedKinds;
    std::set<std::string> verificationKinds;
    std::map<std::string, PairSet> pairsByKind;
    // The answer the host fills in: a token (with its pairing's id and how long it stays good), a
    // pairing it created, or a request to open the service's MFA page.
    std::string token;
    int64_t pairId = 0;
    double duration;
    std::shared_ptr<MFAPair> newPair;
    std::shared_ptr<ThreadScopedValue::ScopedValue_Auto<bool>> heldScopeA;
    bool shouldLaunchCreateRemotely = false;
    std::shared_ptr<ThreadScopedValue::ScopedValue_Auto<bool>> heldScopeB;
};

} // namespace VxMeta
