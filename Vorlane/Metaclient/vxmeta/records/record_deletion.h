// What deleting a record on the service removes from the dataset: an asset takes its requests,
// rights, asset keys and features with it; a feature, an MFA pair or an application datum leaves
// its own list. Records with a change not yet sent stay.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

// After the service deleted record: prunes the dataset lists by the record's stem.
void dropDeletedRecord(const VxMetadata& record);

// Removes from list the records whose "assetid" is assetId, unless they hold an unsent change;
// marks the others. The caller holds the master lock.
template <class T>
void removeAssetRefs(RecordList<T>& list, int64_t assetId) {
    for (const std::shared_ptr<T>& record : list) record->marked = record->assetid != assetId;
    removeUnmarked(list);
}

// Under the master lock: the first record of list whose "id" is id leaves the list (every place
// it holds); other records with the same id stay.
template <class T>
void removeItemById(RecordList<T>& list, int64_t id) {
    LockScope lock(masterMutex);
    const auto found =
        std::find_if(list.begin(), list.end(), [id](const std::shared_ptr<T>& record) { return record->id == id; });
    if (found == list.end()) return;
    const std::shared_ptr<T> doomed = *found;
    list.erase(std::remove(list.begin(), list.end(), doomed), list.end());
}

} // namespace VxMeta
