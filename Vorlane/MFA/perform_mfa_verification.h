// The MFA verification callback the framework registers with the library: it moves each
// verification to the main queue, where the framework's handler gets it, and returns at once. The
// library's thread wakes when the main queue has run that work and every signaler reference is gone.
#pragma once

#include <memory>

#include "vxmeta/accounts/mfa_verification_callback.h"

namespace VorlaneBridge {

// Copies the verification and the signaler into work for the main queue. Called on the thread that
// runs the main queue (or with no main queue set), it runs that work at once instead, so the host's
// own thread never waits for work only it could run.
void performMFAVerification(std::shared_ptr<VxMeta::Signaler>& signaler, VxMeta::MfaVerification verification);

} // namespace VorlaneBridge
