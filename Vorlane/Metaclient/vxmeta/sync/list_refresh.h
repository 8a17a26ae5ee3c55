// The list refreshes: a dataset list brought up to date from the service, whole (every record the
// service holds, then the held records it no longer returned are pruned unless they hold unsent
// changes) or incrementally (the records changed since a sweep time, nothing pruned), and the whole
// merge of records a caller already holds as JSON. A fetched record merges into the held one of its
// id, else of its URN (the held object stays in place); one that matches nothing is appended.
#pragma once

#include <memory>
#include <string>

#include <json/value.h>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/record_query.h"
#include "vxmeta/sync/list_maps.h"

namespace VxMeta {

// The list path of class T for a since text (empty: the whole list).
template <class T>
std::string listRefreshPath(const std::string& since) {
    return T().refreshSuffix(since);
}

// The merge step of a whole refresh: every held record unmarked (unless it holds unsent changes),
// each fetched record merged into its match, or appended, and marked. The caller holds the master lock.
template <class T>
void refreshListNoLock(const RecordListPtr<T>& list, const RecordList<T>& fetched) {
    DualMap<T> held(list, true);
    for (const std::shared_ptr<T>& record : fetched) {
        if (held.updateFrom(record)) continue;
        record->marked = true;
        list->push_back(record);
    }
}

// The whole list from the service, merged; the held records it did not return are removed unless
// they hold unsent changes. No lock is held while the request is in flight.
template <class T>
void refreshListThenRemoveUnmarked(RecordListPtr<T> list) {
    if (!list) return;
    const RecordListPtr<T> fetched = queryClass<T>(listRefreshPath<T>(std::string()));
    LockScope lock(masterMutex);
    refreshListNoLock(list, *fetched);
    removeUnmarked(*list);
}

// The records changed since `since`, merged; nothing is removed (the service announces deletions as
// data memos). With an empty since text, the whole refresh with removal.
template <class T>
void refreshListIncremental(RecordListPtr<T> list, const std::string& since) {
    if (since.empty()) {
        refreshListThenRemoveUnmarked(std::move(list));
        return;
    }
    if (!list) return;
    const RecordListPtr<T> fetched = queryClass<T>(listRefreshPath<T>(since));
    LockScope lock(masterMutex);
    DualMap<T> held(list, false);
    for (const std::shared_ptr<T>& record : *fetched)
        if (!held.updateFrom(record)) list->push_back(record);
}

// The whole merge of the records in value (an array, or one object), with removal, under the master
// lock. An element that is not an object fails before any record is merged.
template <class T>
void updateListThenRemoveUnmarked(RecordListPtr<T> list, Json::Value value) {
    LockScope lock(masterMutex);
    if (!list) return;
    const RecordListPtr<T> given = listFromJSONValue<T>(value);
    refreshListNoLock(list, *given);
    removeUnmarked(*list);
}

} // namespace VxMeta
