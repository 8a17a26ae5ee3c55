// The MFA checkpoint of a protected action ("login", "encrypt", "decrypt"): passes when the team's
// MFA policy does not ask the client to verify the user for that action, or a recent verification
// still covers it; otherwise hands a verification to the host and acts on its answer (a token is
// recorded as a client verification, a new pairing is added, a request to open the service's MFA page
// is passed on). Anything else fails with "MFA Required".
#pragma once

#include <string>

namespace VxMeta {

class MfaPolicy;
class MfaRequirement;

// Passes or throws. Works on a copy of the global policy and writes a new client verification back
// into the policy in force (a policy update that landed meanwhile stays). The caller must not hold
// the master lock: the thread may wait for the host.
void mfaCheckpoint(const std::string& action);

// The checkpoint's work for one requirement; a token answer records the verification in `policy`.
// Holds the master lock from the grace check to each call of the host, never while it waits for
// the host, adds a pairing or opens the page.
void performClientMfaAction(const MfaRequirement& requirement, MfaPolicy& policy);

} // namespace VxMeta
