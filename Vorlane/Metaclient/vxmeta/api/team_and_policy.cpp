// The API's team membership, client policy, access requests and usable managed keys: thin layers
// over the dataset and the accounts area.
#include <memory>

#include "vxmeta/accounts/access_requests.h"
#include "vxmeta/accounts/team_membership.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/team_data.h"

namespace VxMeta {

std::string RawVorlane::getClientPolicy() {
    LockScope lock(masterMutex);
    if (myTeamDatas)
        for (const std::shared_ptr<TeamData>& datum : *myTeamDatas)
            if (datum && datum->kind == "ClientPolicy") return datum->value;
    return std::string();
}

bool RawVorlane::isInATeam() {
    LockScope lock(masterMutex);
    const std::shared_ptr<CAJoin> current = getCA();
    return current && current->userstatus == "allow" && current->teamstatus == "allow";
}

void RawVorlane::setTeam(const std::string& teamUrn, bool join) { setCA(teamUrn, join ? "allow" : "deny"); }

std::string RawVorlane::getTeamStatus() {
    LockScope lock(masterMutex);
    const std::shared_ptr<CAJoin> current = getCA();
    if (!current) return std::string();
    if (current->teamstatus.empty()) return current->caurn + " (Pending)";
    if (current->teamstatus == "deny") return current->caurn + " (Denied)";
    return current->caurn;
}

bool RawVorlane::teamHasTeamKey() { return !getMyTeamGroupURN().empty(); }

void RawVorlane::askForAsset(const std::string& json) { VxMeta::askForAsset(json); }

RecordListPtr<Asset> RawVorlane::getMyFilteredAssets(bool) {
    LockScope lock(masterMutex);
    auto usable = std::make_shared<RecordList<Asset>>();
    if (myAssets)
        for (const std::shared_ptr<Asset>& asset : *myAssets)
            if (asset && asset->canEncrypt) usable->push_back(asset);
    return copyViewList(usable);
}

} // namespace VxMeta
