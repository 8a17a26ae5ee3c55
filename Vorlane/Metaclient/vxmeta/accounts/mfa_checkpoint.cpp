#include "vxmeta/accounts/mfa_checkpoint.h"

#include <memory>

#include "vxmeta/accounts/mfa_pairs.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/mfa_verification.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

void mfaCheckpoint(const std::string& action) {
    if (action.empty()) return;
    assertMasterLockNotHeld("MFA checkpoint");
    MfaPolicy policy;
    {
        LockScope lock(masterMutex);
        policy = globalState.mfaPolicy;
    }
    policy.checkValid();
    const time_t verifiedBefore = policy.clientVerifiedTime;
    const double durationBefore = policy.clientVerifiedDuration;
    performClientMfaAction(policy.getRequirement(action), policy);
    // Only a verification made here goes back, into the policy in force now: a policy that another
    // thread installed meanwhile stays, and so does a verification another checkpoint recorded.
    if (policy.clientVerifiedTime != verifiedBefore || policy.clientVerifiedDuration != durationBefore) {
        LockScope lock(masterMutex);
        globalState.mfaPolicy.setClientVerified(policy);
    }
}

void performClientMfaAction(const MfaRequirement& requirement, MfaPolicy& policy) {
    const std::string& action = requirement.getAction();
    if (action.empty()) return;
    VXLOG(5, "Checking MFA requirement=\"%s\"", action.c_str());
    if (!requirement.getClientProtected()) return;
    if (!policy.getRequired()) return;
    LockScope master(masterMutex);
    if (policy.stillClientVerified(requirement)) return;
    std::vector<std::shared_ptr<MFAPair>> pairs = usableMfaPairs(policy, false);
    std::string reason;
    for (;;) {
        MfaVerification verification(policy, pairs, true, action, std::string());
        if (!verification.needsClientVerification()) {
            VXLOG(5, "MFA requirement=\"%s\", verification not required", action.c_str());
            return;
        }
        if (!verification.canDoVerification(reason)) break;
        VXLOG(5, "MFA requirement=\"%s\", performing verification callback", action.c_str());
        const std::shared_ptr<MfaVerificationCallback> callback = mfaVerificationCallbackSP;
        master.unlock();
        callback->wait(verification, pairs, policy);
        if (std::shared_ptr<MFAPair> newPair = verification.getNewPair()) {
            addMfaPair(newPair, policy);
            master.lock();
            std::vector<std::shared_ptr<MFAPair>> newPairs = usableMfaPairs(policy, false);
            if (newPairs.size() > pairs.size()) {
                VXLOG(5, "MFA requirement=\"%s\", verification success - added new pair", action.c_str());
                return;
            }
            pairs = newPairs;
            continue;
        }
        if (verification.getToken().empty()) {
            if (verification.getShouldLaunchCreateRemotely()) {
                launchCreateTotpPairInBrowser();
            } else {
                VXLOG(5, "MFA requirement=\"%s\", verification failed", action.c_str());
            }
            break;
        }
        VXLOG(5, "MFA requirement=\"%s\", verification success - token", action.c_str());
        policy.setClientVerified(static_cast<time_t>(nowSeconds()), verification.getDuration());
        return;
    }
    if (master.isLocked()) master.unlock();
    throw VxMetaException(VXMECAT_MFA_REQUIRED, reason.empty() ? std::string(MFA_REQUIRED_CLIENT_VERIFICATION_FAILED) : reason);
}

} // namespace VxMeta
