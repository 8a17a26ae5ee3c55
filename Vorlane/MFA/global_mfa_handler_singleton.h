// GlobalMFAHandlerSingleton: the framework's handler of the MFA verifications the library asks the
// host for, one per process. On this desktop platform it answers nothing: the verification ends
// unanswered once the hand-off lets go of its signaler.
#pragma once

#include <memory>

#include "vxmeta/accounts/mfa_verification_callback.h"

namespace VorlaneBridge {

class GlobalMFAHandlerSingleton {
public:
    static GlobalMFAHandlerSingleton& sharedInstance();

    // Called on the main queue with the hand-off's copies. Stores no answer and keeps no reference.
    void performMFAWithVerification(const VxMeta::MfaVerification* verification,
                                    std::shared_ptr<VxMeta::Signaler>* signaler);

private:
    GlobalMFAHandlerSingleton() = default;
};

} // namespace VorlaneBridge
