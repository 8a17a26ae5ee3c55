// The MFA checkpoint of a protected action ("login", "encrypt", "decrypt"): passes when the team's
// MFA policy does not ask the client to verify the user for that action, else hands a verification
// to the host and waits for its answer. It never runs with the master lock held.
#pragma once

#include <string>

namespace VxMeta {

// Passes or throws the MFA failure. So far no policy asks the client to verify: it passes.
void mfaCheckpoint(const std::string& action);

} // namespace VxMeta
