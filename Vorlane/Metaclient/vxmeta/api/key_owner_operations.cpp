// The public API's operations of a key's owner and of its participants: deleting and renaming a key,
// listing its participants, and granting or revoking access by address, each through a manager of
// its own that loads the key first (for its owner, except the participant list).
#include <algorithm>
#include <string>
#include <vector>

#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

void RawVorlane::deleteAsset(const std::string& urn) {
    SingleAssetManager manager;
    manager.fullFetch(urn);
    std::shared_ptr<Asset> loaded;
    {
        LockScope lock(masterMutex);
        loaded = manager.asset;
    }
    loaded->del();
}

void RawVorlane::changeAssetName(const std::string& urn, const std::string& name) {
    SingleAssetManager manager;
    manager.fullFetch(urn);
    manager.changeName(name);
}

RecordListPtr<XPID> RawVorlane::getAssetParticipants(const std::string& urn) {
    SingleAssetManager manager;
    manager.partialFetch(urn, true, false);
    return manager.getParticipants();
}

void RawVorlane::updateAssetAccess(const std::string& urn, const std::vector<std::string>& emails, bool flag) {
    SingleAssetManager manager;
    manager.fullFetch(urn);
    manager.setAccessToList(emails, flag ? "allow" : "deny");
}

void RawVorlane::setAssetAccess(const std::string& urn, const std::vector<std::string>& emails) {
    SingleAssetManager manager;
    manager.fullFetch(urn);
    const std::string own = getUserEmail();
    std::vector<std::string> allowed;
    for (const std::string& email : emails) {
        const std::string address = canocase(trim(email));
        if (!address.empty() && address != own) allowed.push_back(address);
    }
    manager.setAccessToList(allowed, "allow");
    std::vector<std::string> denied;
    const RecordListPtr<XPID> participants = manager.getParticipants();
    for (const std::shared_ptr<XPID>& participant : *participants) {
        const std::string address = canocase(trim(participant->email));
        // The user's own address stays off the deny list as it stays off the allow list.
        if (eq(address, own)) continue;
        if (std::find(allowed.begin(), allowed.end(), address) == allowed.end()) denied.push_back(address);
    }
    manager.setAccessToList(denied, "deny");
}

} // namespace VxMeta
