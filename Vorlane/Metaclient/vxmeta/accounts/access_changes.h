// Access changes: who may use a managed key. The owner's operations on a loaded key are members of
// SingleAssetManager (single_asset_manager.h); here the change of one right in the global dataset,
// which answering a request there uses, and the removal of a revoked participant's key revisions.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class AssetRight;

// Sets the right's access (nothing when it already holds that text), under the sync lock, for a
// logged-in user within the offline limit; turning "allow" into "deny" first issues the key's next
// revision into myKeys. The right is changed locally and pushed with the next list push; nothing is
// sent here. "deny" for the key's owner fails with VXMECAT_CLIENT "The key's owner cannot be denied
// access". The caller must not hold the master lock.
void changeAccess(const std::shared_ptr<AssetRight>& right, const std::string& access);

// Matches a record of one asset (its "asset") and one participant (its "participant"), both exactly.
template <class T>
class MatchAssetAndParticipantFunctor {
public:
    MatchAssetAndParticipantFunctor(std::string asset, std::string participant)
        : asset_(std::move(asset)), participant_(std::move(participant)) {}
    bool operator()(const std::shared_ptr<T>& record) const {
        return record && record->asset == asset_ && record->participant == participant_;
    }

private:
    std::string asset_;
    std::string participant_;
};

// Erases the records the predicate matches; the others keep their order.
template <class T, class Predicate>
void removeMatches(RecordList<T>& list, const Predicate& matches) {
    list.erase(std::remove_if(list.begin(), list.end(), matches), list.end());
}

} // namespace VxMeta
