// Access requests in the global dataset: the owner of a managed key answers another participant's
// request for it. The answer becomes that participant's AssetRight, pushed with the next list push;
// the reconciliation pass then gives a granted participant the keys.
#pragma once

#include <memory>
#include <string>

namespace VxMeta {

class AssetRequest;

// Asks the owner of a key for it: the reference is archive key metadata or a key URN, optionally
// with ":" and a key sequence (its failures propagate). Nothing for a fixed key, a key of another
// home server than the user's, a key the user holds a right for, or one already requested. Under the
// sync lock, for a logged-in user within the offline limit, a new request is sent (trySync, without
// the master lock) and kept in myRequests while unsent, when this client created it, or when the
// service gave it no asset; sending failures are not thrown. The caller must not hold the master lock.
void askForAsset(const std::string& keyReference);

// Answers a request of myRequests ("allow" or "deny"; another text becomes the access as it is)
// under the sync lock, for a logged-in user within the offline limit and the owner of the key (else
// VXMECAT_INTERNAL "You are not the owner", nothing changed): the request's status becomes
// "answered"; a right the participant already holds for the key changes its access (changeAccess)
// and the request stays; otherwise a new right joins myRights and the request leaves myRequests.
// Nothing is sent. A key missing from myAssets fails with VXMECAT_INTERNAL "Can't respond to request
// - requested Asset is unknown", a personal key with VXMECAT_INTERNAL "Illegal request for private
// asset.". The caller must not hold the master lock.
void respondToRequest(const std::shared_ptr<AssetRequest>& request, const std::string& answer);

} // namespace VxMeta
