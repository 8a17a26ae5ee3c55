#include "vxmeta/sync/data_memo_processor.h"

#include <string>

#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/data_memo.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_query.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

void DataMemoProcessor::go() {
    int32_t pageSize = 0;
    std::string since;
    {
        LockScope lock(masterMutex);
        globalState.lastMemoTime = nowSeconds();
        if (myUser) {
            pageSize = myUser->fetch_max;
            since = myUser->last_sweep;
        }
        xpids.fillMark(myXPIDs);
    }
    int64_t lastId = 0;
    bool arrived = false;
    for (;;) {
        std::string path = "datamemo" + querySuffix("max", static_cast<int64_t>(pageSize)) +
                           querySuffix2("start", lastId + 1);
        if (!since.empty()) path += querySuffix2("since", since);
        const RecordListPtr<DataMemo> page = queryClass<DataMemo>(path);
        if (page->empty()) break;
        const int64_t before = lastId;
        {
            LockScope lock(masterMutex);
            if (!arrived) {
                assets.fillMark(myAssets);
                features.fillMark(myFeatures);
                requests.fillMark(myRequests);
                rights.fillMark(myRights);
                keys.fillMark(myKeys);
                appDatas.fillMark(myAppDatas);
                arrived = true;
            }
            for (const std::shared_ptr<DataMemo>& memo : *page) {
                if (memo->id > lastId) lastId = memo->id;
                VXLOG(4, "metaclient: got Data Memo %s %s/%lld", memo->memo_kind.c_str(), memo->entity_kind.c_str(),
                      static_cast<long long>(memo->entity_id));
                if (memo->memo_kind == "delete") applyDelete(memo->entity_kind, memo->entity_id);
            }
        }
        // The page size is compared unsigned: a page size that is not above 0 reads one page.
        if (static_cast<uint64_t>(page->size()) < static_cast<uint64_t>(static_cast<int64_t>(pageSize))) break;
        // A full page that brought no id above the last one would be asked for again without end.
        if (lastId <= before) {
            VXLOG(2, "Data memo page from %lld brought no newer memo - paging stopped", static_cast<long long>(before + 1));
            break;
        }
    }
    if (!arrived) return;
    LockScope lock(masterMutex);
    cascadeUnmarkedOwner(myAssets);
    cascadeUnmarkedParticipant(myRequests, requests);
    cascadeUnmarkedParticipant(myRights, rights);
    cascadeUnmarkedParticipant(myKeys, keys);
    cascadeUnmarkedAsset(myFeatures, features);
    cascadeUnmarkedAsset(myRequests, requests);
    cascadeUnmarkedAsset(myRights, rights);
    cascadeUnmarkedAsset(myKeys, keys);
    if (myXPIDs) xpids.removeUnmarked(*myXPIDs);
    if (myAssets) assets.removeUnmarked(*myAssets);
    if (myFeatures) features.removeUnmarked(*myFeatures);
    if (myRequests) requests.removeUnmarked(*myRequests);
    if (myRights) rights.removeUnmarked(*myRights);
    if (myKeys) keys.removeUnmarked(*myKeys);
    if (myAppDatas) appDatas.removeUnmarked(*myAppDatas);
}

void DataMemoProcessor::applyDelete(const std::string& entityKind, int64_t id) {
    if (entityKind == "identity") xpids.unmark(id);
    else if (entityKind == "asset") assets.unmark(id);
    else if (entityKind == "assetfeature") features.unmark(id);
    else if (entityKind == "assetrequest") requests.unmark(id);
    else if (entityKind == "assetright") rights.unmark(id);
    else if (entityKind == "assetkey") keys.unmark(id);
    else if (entityKind == "appdata") appDatas.unmark(id);
}

void DataMemoProcessor::cascadeUnmarkedOwner(const RecordListPtr<Asset>& list) {
    if (!list) return;
    for (const std::shared_ptr<Asset>& asset : *list)
        if (asset && xpids.isUnmarkedId(asset->ownerid)) assets.setMark(asset, false);
}

template <class T>
void DataMemoProcessor::cascadeUnmarkedParticipant(const RecordListPtr<T>& list, IDMap<T>& map) {
    if (!list) return;
    for (const std::shared_ptr<T>& record : *list)
        if (record && xpids.isUnmarkedId(record->participantid)) map.setMark(record, false);
}

template <class T>
void DataMemoProcessor::cascadeUnmarkedAsset(const RecordListPtr<T>& list, IDMap<T>& map) {
    if (!list) return;
    for (const std::shared_ptr<T>& record : *list)
        if (record && assets.isUnmarkedId(record->assetid)) map.setMark(record, false);
}

template void DataMemoProcessor::cascadeUnmarkedParticipant(const RecordListPtr<AssetRequest>&, IDMap<AssetRequest>&);
template void DataMemoProcessor::cascadeUnmarkedParticipant(const RecordListPtr<AssetRight>&, IDMap<AssetRight>&);
template void DataMemoProcessor::cascadeUnmarkedParticipant(const RecordListPtr<AssetKey>&, IDMap<AssetKey>&);
template void DataMemoProcessor::cascadeUnmarkedAsset(const RecordListPtr<AssetFeature>&, IDMap<AssetFeature>&);
template void DataMemoProcessor::cascadeUnmarkedAsset(const RecordListPtr<AssetRequest>&, IDMap<AssetRequest>&);
template void DataMemoProcessor::cascadeUnmarkedAsset(const RecordListPtr<AssetRight>&, IDMap<AssetRight>&);
template void DataMemoProcessor::cascadeUnmarkedAsset(const RecordListPtr<AssetKey>&, IDMap<AssetKey>&);

void DataMemoProcessor::markOwner(const RecordListPtr<Asset>& list) {
    if (!list) return;
    for (const std::shared_ptr<Asset>& asset : *list)
        if (asset) xpids.mark(asset->ownerid);
}

void DataMemoProcessor::markParticipantRights(const RecordListPtr<AssetRight>& list) {
    if (!list) return;
    int64_t ownId = 0;
    if (myPID) ownId = myPID->id;
    for (const std::shared_ptr<AssetRight>& right : *list) {
        if (!right) continue;
        if ((right->ownerid == ownId || right->access != "deny") && right->participantid != 0)
            xpids.mark(right->participantid);
    }
}

void DataMemoProcessor::garbageCollect() {
    LockScope lock(masterMutex);
    if (!myXPIDs) return;
    const bool inTeam = globalState.teamId != 0 && !globalState.teamGroupUrn.empty();
    for (const std::shared_ptr<XPID>& identity : *myXPIDs) {
        if (!identity) continue;
        xpids.add(identity);
        xpids.setMark(identity, inTeam && identity->owning_team_id == globalState.teamId);
    }
    if (myPID) xpids.mark(myPID->id);
    markOwner(myAssets);
    markParticipantRights(myRights);
    xpids.removeUnmarked(*myXPIDs);
}

void DataMemoProcessor::markXPID(int64_t id) {
    {
        LockScope lock(masterMutex);
        if (xpids.find(id)) {
            xpids.mark(id);
            return;
        }
    }
    auto identity = std::make_shared<XPID>();
    identity->id = id;
    try {
        if (!identity->get()) return;
    } catch (const VxMetaException& e) {
        VXLOG(1, "Attempt to fetch missing XPID/%lld failed - %s", static_cast<long long>(id), e.message.c_str());
        return;
    }
    LockScope lock(masterMutex);
    if (myXPIDs) myXPIDs->push_back(identity);
    xpids.add(identity);
    xpids.setMark(identity, true);
    VXLOG(2, "XPID %s was missing - fetched OK", identity->email.c_str());
}

} // namespace VxMeta
