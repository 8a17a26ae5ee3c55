#include "vxmeta/accounts/mfa_verification.h"

#include <limits>
#include <utility>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/mfa_pair.h"

namespace VxMeta {

namespace {

// The details of a kind; null for a kind the library does not know.
std::shared_ptr<MfaVerificationKindDetails> detailsOf(const std::string& kind) {
    auto found = verificationKindDetailsMap.find(kind);
    return found != verificationKindDetailsMap.end() ? found->second : nullptr;
}

bool canVerify(const std::string& kind) {
    LockScope lock(masterMutex);
    return mfaCapableVerificationKinds.count(kind) != 0;
}

bool canCreate(const std::string& kind) {
    LockScope lock(masterMutex);
    return mfaCapableCreationKinds.count(kind) != 0;
}

std::string joined(const std::set<std::string>& kinds) {
    std::string text;
    for (const std::string& kind : kinds) {
        if (!text.empty()) text += ", ";
        text += kind;
    }
    return text;
}

void refuse(const char* cause) { VXLOG(5, "Client unable to perform MFA verification: %s", cause); }

} // namespace

MfaVerificationKindDetails::MfaVerificationKindDetails(std::string kind, bool verifiedOffline, bool createRemotely,
                                                       bool createLocallyWithoutLogin)
    : kind_(std::move(kind)), canBeVerifiedOffline_(verifiedOffline), createRemotely_(createRemotely),
      createLocallyWithoutLogin_(createLocallyWithoutLogin),
      remoteCreationSwitch(std::make_shared<ThreadScopedValue::Value<bool>>(createRemotely)) {}

bool MfaVerificationKindDetails::ableToVerifyOffline() const { return canVerify(kind_) && canBeVerifiedOffline_; }

bool MfaVerificationKindDetails::ableToVerifyOnline() const { return canVerify(kind_); }

bool MfaVerificationKindDetails::ableToCreateLocally() const {
    LockScope lock(masterMutex);
    if (!createLocallyWithoutLogin_ && !loggedIn()) return false;
    return canCreate(kind_);
}

bool MfaVerificationKindDetails::ableToCreateRemotely() const {
    LockScope lock(masterMutex);
    return canCreate(kind_) && remoteCreationSwitch->Get() && createRemotely_;
}

std::shared_ptr<ThreadScopedValue::ScopedValue_Auto<bool>> MfaVerificationKindDetails::launchCreateRemotely() const {
    return remoteCreationSwitch->ScopedChange(false);
}

MfaVerificationKindDetailsMap createVerificationKindDetailsMap() {
    MfaVerificationKindDetailsMap map;
    map[MFA_KIND_CERTIFICATE] = std::make_shared<MfaVerificationKindDetails>(MFA_KIND_CERTIFICATE, true, false, true);
    map[MFA_KIND_TOTP] = std::make_shared<MfaVerificationKindDetails>(MFA_KIND_TOTP, false, true, false);
    return map;
}

const MfaVerificationKindDetailsMap verificationKindDetailsMap = createVerificationKindDetailsMap();

MfaVerification::MfaVerification() : duration(std::numeric_limits<double>::max()) {}

MfaVerification::MfaVerification(const MfaPolicy& verificationPolicy, const std::vector<std::shared_ptr<MFAPair>>& pairs,
                                 bool isClientSide, std::string verificationAction, std::string verificationChallenge)
    : action(std::move(verificationAction)), challenge(std::move(verificationChallenge)), clientSide(isClientSide),
      policy(verificationPolicy), duration(std::numeric_limits<double>::max()) {
    policy.checkValid();
    allowedKinds = policy.getAllowedKinds();
    verificationKinds = filterToVerificationKinds(allowedKinds);
    LockScope lock(masterMutex);
    for (const std::shared_ptr<MFAPair>& pair : pairs) {
        if (pair && verificationKinds.count(pair->kind) != 0) pairsByKind[pair->kind].insert(pair);
    }
}

std::set<std::string> MfaVerification::filterToVerificationKinds(const std::set<std::string>& kinds) {
    LockScope lock(masterMutex);
    std::set<std::string> verifiable;
    for (const std::string& kind : kinds) {
        if (mfaCapableVerificationKinds.count(kind) != 0 && detailsOf(kind)) verifiable.insert(kind);
    }
    return verifiable;
}

bool MfaVerification::needsClientVerification() const {
    if (!clientSide) return false;
    if (verificationKinds.empty()) return true;
    bool everyAllowedOffline = true;
    for (const std::string& kind : allowedKinds) {
        std::shared_ptr<MfaVerificationKindDetails> details = detailsOf(kind);
        if (details && !details->canBeVerifiedOffline()) everyAllowedOffline = false;
    }
    if (everyAllowedOffline) return true;
    // Some allowed kind needs the service: the client verifies only what it can verify offline, and
    // otherwise leaves the demand to the service.
    for (const std::string& kind : verificationKinds) {
        std::shared_ptr<MfaVerificationKindDetails> details = detailsOf(kind);
        if (details && details->ableToVerifyOffline()) return true;
    }
    return false;
}

bool MfaVerification::canDoVerification(std::string& reason) const {
    if (!policy.getValid()) {
        refuse("Policy is invalid");
        return false;
    }
    if (!policy.getRequired()) {
        refuse("MFA is not enabled");
        return false;
    }
    LockScope lock(masterMutex);
    if (!mfaVerificationCallbackSP || !mfaVerificationCallbackSP->valid()) {
        refuse("Callback is not set");
        return false;
    }
    if (verificationKinds.empty()) {
        refuse("Not capable");
        return false;
    }
    bool canCreatePair = false;
    for (const std::string& kind : allowedKinds) {
        std::shared_ptr<MfaVerificationKindDetails> details = detailsOf(kind);
        if (details && (details->ableToCreateLocally() || details->ableToCreateRemotely())) {
            canCreatePair = true;
            break;
        }
    }
    if (pairsByKind.empty() && !canCreatePair) {
        refuse("Unable to prompt to create MFA Pairing");
        reason = policy.getTotpPolicy().getMessageNoPairsCannotCreate();
        return false;
    }
    const std::set<std::string> allowed = policy.getAllowedKinds();
    for (const std::string& kind : allowed) {
        if (mfaCapableVerificationKinds.count(kind) != 0) return true;
    }
    VXLOG(5, "Client unable to perform MFA verification: Not capable of %s", joined(allowed).c_str());
    return false;
}

bool MfaVerification::canLaunchToCreateRemotely(const MfaPolicy& policy) {
    if (!loggedIn()) return false;
    for (const std::string& kind : filterToVerificationKinds(policy.getAllowedKinds())) {
        std::shared_ptr<MfaVerificationKindDetails> details = detailsOf(kind);
        if (details && details->ableToCreateRemotely()) return true;
    }
    return false;
}

bool MfaVerification::canVerifyKind(const std::string& kind) const {
    std::shared_ptr<MfaVerificationKindDetails> details = detailsOf(kind);
    if (verificationKinds.count(kind) == 0 || !details || pairsByKind.count(kind) == 0) return false;
    return clientSide ? details->ableToVerifyOffline() : details->ableToVerifyOnline();
}

bool MfaVerification::canCreateNewPairLocallyOfKind(const std::string& kind) const {
    std::shared_ptr<MfaVerificationKindDetails> details = detailsOf(kind);
    return verificationKinds.count(kind) != 0 && details && details->ableToCreateLocally();
}

bool MfaVerification::canLaunchToCreateRemotelyOfKind(const std::string& kind) const {
    if (!loggedIn()) return false;
    std::shared_ptr<MfaVerificationKindDetails> details = detailsOf(kind);
    return verificationKinds.count(kind) != 0 && details && details->ableToCreateRemotely();
}

void MfaVerification::clearNewPair() {
    newPair.reset();
    token.clear();
    pairId = 0;
}

Json::Value MfaVerification::getTimestamp() { return mfaTimestamp(); }

void MfaVerification::setTimestamp(const Json::Value& timestamp) { setMfaTimestamp(timestamp); }

} // namespace VxMeta
