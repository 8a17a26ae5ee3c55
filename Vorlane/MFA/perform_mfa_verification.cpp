#include "Vorlane/MFA/perform_mfa_verification.h"

#include <utility>

#include "Platform/dispatch_queue.h"
#include "Vorlane/MFA/global_mfa_handler_singleton.h"

namespace VorlaneBridge {

void performMFAVerification(std::shared_ptr<VxMeta::Signaler>& signaler, VxMeta::MfaVerification verification) {
    auto work = [signaler, verification = std::move(verification)]() mutable {
        GlobalMFAHandlerSingleton::sharedInstance().performMFAWithVerification(&verification, &signaler);
        // Ending the work releases its signaler reference.
        signaler.reset();
    };
    std::shared_ptr<Platform::DispatchQueue> queue = Platform::mainQueue();
    if (!queue || queue->isCurrent()) {
        work();
        return;
    }
    queue->async(std::move(work));
}

} // namespace VorlaneBridge
