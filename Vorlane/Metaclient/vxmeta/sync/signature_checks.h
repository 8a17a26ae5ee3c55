// The signature checks at the end of a synchronization: every record of the dataset not yet found
// valid is checked (checkSignature); one that stays invalid is kept and reported as a
// synchronization problem. No request is made with the master lock held: the checks take it per
// record, and a signer's look-up and a record's re-read run without it.
#pragma once

#include <memory>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"

namespace VxMeta {

// checkSignature, in list order, on every record of the list not already found valid (taken under
// the master lock in one pass; the checks themselves run without it).
template <class T>
void checkSignatures(const RecordListPtr<T>& list) {
    RecordList<T> unchecked;
    {
        LockScope lock(masterMutex);
        if (!list) return;
        for (const std::shared_ptr<T>& record : *list)
            if (record && record->verified != 1) unchecked.push_back(record);
    }
    for (const std::shared_ptr<T>& record : unchecked) checkSignature(*record);
}

// The single records (Persists, PID, SID, User, Device), then the lists in the dataset's order.
void vxmcCheckSignatures();
// The checks of a synchronization; the caller must not hold the master lock.
void checkAllSignatures();

} // namespace VxMeta
