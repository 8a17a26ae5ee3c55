// The single-key manager's own store and push: serializeAll, restoreAll and sync.
#include <unordered_set>

#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"

namespace VxMeta {

namespace {

// Adds to out the records of mine that the global list holds too. The caller holds the master lock.
template <class T>
void noteShared(const RecordListPtr<T>& mine, const RecordListPtr<T>& global,
                std::unordered_set<const VxMetadata*>& out) {
    if (!mine || mine->empty() || !global) return;
    std::unordered_set<const VxMetadata*> own;
    for (const std::shared_ptr<T>& record : *mine) own.insert(record.get());
    for (const std::shared_ptr<T>& record : *global)
        if (own.count(record.get())) out.insert(record.get());
}

template <class T>
void restoreInto(const RecordListPtr<T>& list, const Serial& pair) {
    auto record = std::make_shared<T>();
    restore(record, pair);
    list->push_back(std::move(record));
}

} // namespace

SerialListPtr SingleAssetManager::serializeAll(bool changesOnly) {
    LockScope lock(masterMutex);
    const std::set<std::string> previous = savedNames;
    if (changesOnly) savedNames.clear();
    auto list = std::make_shared<SerialList>();
    savedRecords.clear();
    std::unordered_set<const VxMetadata*> shared;
    noteShared(assets, myAssets, shared);
    noteShared(keys, myKeys, shared);
    noteShared(rights, myRights, shared);
    noteShared(requests, myRequests, shared);
    noteShared(features, myFeatures, shared);
    const SaveBook book{savedNames, savedRecords, &shared};
    serializeList(*list, assets, changesOnly, book);
    serializeList(*list, keys, changesOnly, book);
    serializeList(*list, rights, changesOnly, book);
    serializeList(*list, requests, changesOnly, book);
    serializeList(*list, features, changesOnly, book);
    if (changesOnly) {
        for (const std::string& name : previous)
            if (!savedNames.count(name)) list->push_back(std::make_shared<Serial>(name, std::string()));
    }
    return list;
}

void SingleAssetManager::restoreAll(SerialList pairs) {
    {
        LockScope lock(masterMutex);
        for (const std::shared_ptr<Serial>& pair : pairs) {
            if (!pair) continue;
            const std::string stem = pair->name.substr(0, pair->name.find('-'));
            if (stem == "asset") restore(asset, *pair);
            else if (stem == "assetkey") restoreInto(keys, *pair);
            else if (stem == "assetrequest") restoreInto(requests, *pair);
            else if (stem == "assetright") restoreInto(rights, *pair);
            else if (stem == "assetfeature") restoreInto(features, *pair);
        }
    }
    examineState();
}

void SingleAssetManager::sync() {
    mustSyncList(features);
    mustSyncList(rights);
    mustSyncList(keys);
}

} // namespace VxMeta
