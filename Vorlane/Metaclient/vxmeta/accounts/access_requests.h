// Access requests in the global dataset: the owner of a managed key answers another participant's
// request for it. The answer becomes that participant's AssetRight, pushed with the next list push;
// the reconciliation pass then gives a granted participant the keys.
#pragma once

#include <memory>
#include <string>

namespace VxMeta {

class AssetRequest;

// Asks the owner of a key for it: the reference is archive key metadata or a key URN, optionally
// with ":" and a key sequence. Reads the reference (its failures propagate) and runs the access
// gate for a logged-in user within the offline limit; sending failures are not thrown. Filing the
// request itself comes with the access requests' sending; until then nothing is sent.
void askForAsset(const std::string& keyReference);

// Answers a request of myRequests ("allow" or "deny"; another text becomes the access as it is)
// under the sync lock, for a logged-in user within the offline limit: the request's status becomes
// "answered"; a right the participant already holds for the key changes its access (changeAccess)
// and the request stays; otherwise a new right joins myRights and the request leaves myRequests.
// Nothing is sent. A key missing from myAssets fails with VXMECAT_INTERNAL "Can't respond to request
// - requested Asset is unknown", a personal key with VXMECAT_INTERNAL "Illegal request for private
// asset.". The caller must not hold the master lock.
void respondToRequest(const std::shared_ptr<AssetRequest>& request, const std::string& answer);

} // namespace VxMeta
