// The list push: the records created or changed on this client wait, remote-dirty, in the dataset
// lists and are sent list by list. Each list is pushed from a copy of its pointers without the master
// lock; afterwards the live list keeps the records this push went through and those still holding
// unsent changes, and drops the other records appended while it ran.
#pragma once

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"

namespace VxMeta {

// Pushes one list: trySync on each record of a copy (a refusal only leaves the record remote-dirty
// and is kept as a synchronization problem), then, under the master lock, the live list drops every
// record that the push did not go through and that holds no unsent change. The push keeps its own
// set of what it went through: no other pass can change it.
template <class T>
void syncList(const RecordListPtr<T>& list) {
    const RecordListPtr<T> copy = MLockClone(list);
    if (!copy) return;
    std::unordered_set<const T*> pushed;
    pushed.reserve(copy->size());
    for (const std::shared_ptr<T>& record : *copy) {
        if (!record) continue;
        pushed.insert(record.get());
        record->trySync();
    }
    LockScope lock(masterMutex);
    list->erase(std::remove_if(list->begin(), list->end(),
                               [&pushed](const std::shared_ptr<T>& r) {
                                   return r && !r->remoteDirty && pushed.count(r.get()) == 0;
                               }),
                list->end());
}

// Pushes the lists in their fixed order: App (while application records are supported), Asset,
// AssetRight, AssetKey, AssetRequest, AssetFeature, the three contingency lists, AppData, TeamData,
// Upload, MFAPair; a TDE agent skips requests, contingency records and MFA pairs. The caller holds
// the sync lock and not the master lock.
void vxmcSyncLists();

} // namespace VxMeta
