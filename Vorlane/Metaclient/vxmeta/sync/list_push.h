// The list push: the records created or changed on this client wait, remote-dirty, in the dataset
// lists and are sent list by list. Each list is pushed from a copy of its pointers without the master
// lock; afterwards the live list keeps the marked records (those this push went through among them)
// and those still holding unsent changes, and drops the others.
#pragma once

#include <algorithm>
#include <memory>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"

namespace VxMeta {

// Pushes one list: each record of a copy is marked and then tried (trySync: a refusal only leaves the
// record remote-dirty and is kept as a synchronization problem); then, under the master lock, the live
// list drops every record that is neither marked nor remote-dirty. The marks stay set: the next
// refresh or reconciliation pass clears them.
template <class T>
void syncList(const RecordListPtr<T>& list) {
    const RecordListPtr<T> copy = MLockClone(list);
    if (!copy) return;
    for (const std::shared_ptr<T>& record : *copy) {
        if (!record) continue;
        {
            LockScope lock(masterMutex);
            record->marked = true;
        }
        record->trySync();
    }
    LockScope lock(masterMutex);
    removeUnmarked(*list);
}

// Pushes the lists in their fixed order: App (while application records are supported), Asset,
// AssetRight, AssetKey, AssetRequest, AssetFeature, the three contingency lists, AppData, TeamData,
// Upload, MFAPair; a TDE agent skips requests, contingency records and MFA pairs. The caller holds
// the sync lock and not the master lock.
void vxmcSyncLists();

} // namespace VxMeta
