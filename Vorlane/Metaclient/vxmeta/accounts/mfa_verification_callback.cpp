#include "vxmeta/accounts/mfa_verification_callback.h"

#include <exception>

#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta {

std::shared_ptr<MfaVerificationCallback> mfaVerificationCallbackSP;

Signaler::~Signaler() {
    if (expectant) expectant->signal();
    expectant.reset();
}

void MfaVerificationCallback::wait(MfaVerification& verification, const std::vector<std::shared_ptr<MFAPair>>& /*pairs*/,
                                   const MfaPolicy& /*policy*/) const {
    assertMasterLockNotHeld("an MFA wait");
    try {
        auto mutex = std::make_shared<std::recursive_mutex>();
        auto condition = std::make_shared<std::condition_variable_any>();
        // Held from here until the condition wait: a signaler released meanwhile on another thread
        // waits for the mutex, so its wake-up cannot be lost.
        std::unique_lock<std::recursive_mutex> lock(*mutex);
        auto expectant = std::make_shared<Expectant<MfaVerification>>(mutex, condition);
        auto signaler = std::make_shared<Signaler>(expectant);
        VXLOG(5, "Calling MFA verification callback...");
        function(signaler, verification);
        VXLOG(5, "MFA verification callback returned");
        signaler.reset();
        MfaVerification answer = expectant->wait(lock);
        verification = std::move(answer);
        VXLOG(5, "MFA verification signaler completed");
    } catch (const VxMetaException& e) {
        VXLOG(1, "Unhandled VxMetaException when performing MFA callback - %s", e.message.c_str());
    } catch (const std::exception& e) {
        VXLOG(1, "Unhandled Exception when performing MFA callback - %s", e.what());
    } catch (...) {
        VXLOG(1, "Unhandled Exception when performing MFA callback");
    }
}

void setMfaVerificationCallback(MfaVerificationCallback::Function function) {
    LockScope lock(masterMutex);
    if (function) {
        VXLOG(5, "Setting MFA verification callback...");
        mfaVerificationCallbackSP = std::make_shared<MfaVerificationCallback>(function);
        VXLOG(4, "MFA verification callback set");
    } else {
        VXLOG(4, "Removing MFA verification callback");
        mfaVerificationCallbackSP.reset();
    }
}

void setCapableMfaKinds(const std::set<std::string>& verificationKinds, const std::set<std::string>& creationKinds) {
    LockScope lock(masterMutex);
    mfaCapableVerificationKinds.clear();
    mfaCapableVerificationKinds.insert(verificationKinds.begin(), verificationKinds.end());
    mfaCapableCreationKinds.clear();
    mfaCapableCreationKinds.insert(creationKinds.begin(), creationKinds.end());
    VXLOG(5, "Set MFA capable kinds");
}

} // namespace VxMeta
