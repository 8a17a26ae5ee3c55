#include "Vorlane/MFA/global_mfa_handler_singleton.h"

namespace VorlaneBridge {

GlobalMFAHandlerSingleton& GlobalMFAHandlerSingleton::sharedInstance() {
    static GlobalMFAHandlerSingleton instance;
    return instance;
}

void GlobalMFAHandlerSingleton::performMFAWithVerification(const VxMeta::MfaVerification* /*verification*/,
                                                           std::shared_ptr<VxMeta::Signaler>* /*signaler*/) {}

} // namespace VorlaneBridge
