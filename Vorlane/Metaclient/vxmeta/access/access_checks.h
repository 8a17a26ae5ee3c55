// The access checks: before the library acts for the user it checks that the device is allowed, a
// managed account's credentials are still accepted, a user is logged in, the client has not worked
// offline longer than its policy allows and the account is not disabled on its home server; the last
// contact with the service that some of them measure; the local logout several of them trigger; the
// re-authorization the request pipeline asks for; the list of synchronization problems.
// (verifyOnlineMode, authenticateOnTheFly, logout and mdClearAll are declared with the request
// pipeline, incrementEtag, addSyncProblem, checkRemoteDisabled and mustBeLoggedIn with the records.)
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/records/access_seam.h"

namespace VxMeta {

class VxMetadata;

// No login change in progress and a logged-in private key held; under the master lock.
bool loggedIn();
// When the device record's "allow_access" is false: logout, then "This device has been disabled.".
void checkDeviceAllowed();
// The gate before an operation, in order: device allowed, managed credentials rechecked when due,
// a user logged in (when mustLogin), the offline limit (when checkOffline; exceeded: logout).
void checkAllAccess(bool checkOffline, bool mustLogin);
// Asks the service again, when due, whether a managed account's credentials are still accepted. A
// communication failure counts as a check made; "Incorrect Credentials" becomes "Login Required".
void performCredentialCheck();
// A managed account whose check interval has passed since its last check.
bool maCredentialCheckRequired();
// The state record's offline limit (hours; 0 none) is exceeded since the last online time.
bool offlineAccessExpired();
// At least `seconds` have passed since the last online time.
bool beenOfflineFor(int64_t seconds);
// A successful contact with the service: the last online time is now; the state record's copy moves
// at most once per 900 s while the offline limit holds. The flag is ignored.
void updateOnlineTime(bool flag);
// Applies the policies of the team data, in list order: a "Satellite Policy" whose signature checks
// sets the client policy and the state record's offline and credential-check limits; an
// "MFAPolicy" becomes the MFA policy (invalid when its signature does not check). The caller must
// not hold the master lock: a signature check may fetch a record again.
void updatePolicy();
// Checks a record's signature once: first under the master lock with what the dataset holds; a record
// that does not verify is checked again without the lock (its signer may have to be looked up) and,
// failing that, read again from the service (a failure of that request passes on); the last check
// runs under the lock. One that still does not verify is marked invalid and reported as a
// synchronization problem, on every call. The caller must not hold the master lock.
void checkSignature(VxMetadata& record);
// "%s/%s/" of the base and the URL-encoded id.
std::string makeSIDURL(const std::string& base, const std::string& id);

} // namespace VxMeta
