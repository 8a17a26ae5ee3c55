// Access changes in the global dataset: the access of one right of myRights changes, and a revoked
// participant's key is left behind by a new key revision.
#pragma once

#include <memory>
#include <string>

namespace VxMeta {

class AssetRight;

// Sets the right's access (nothing when it already holds that text), under the sync lock, for a
// logged-in user within the offline limit; turning "allow" into "deny" first issues the key's next
// revision into myKeys. The right is changed locally and pushed with the next list push; nothing is
// sent here. The caller must not hold the master lock.
void changeAccess(const std::shared_ptr<AssetRight>& right, const std::string& access);

} // namespace VxMeta
