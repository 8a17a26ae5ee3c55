// The persisted store: the dataset as an ordered list of name/value text pairs that the host keeps
// between runs. serializeAll writes every record (or only what changed since the last save), an empty
// value for each pair of the last save or restore that no longer exists (both modes: a renamed record
// is never kept under its old name too), the statistics days, and last the integrity
// manifest "m-"; restoreAll checks a stored list against its manifest and rebuilds the dataset from it,
// or leaves the library empty and fails with VXMECAT_INVALID_METADATA. The format: docs/store-format.md.
//
// The host applies each list in order (an empty value removes the pair of that name, any other value
// adds or replaces it) and hands restoreAll every pair it holds, "m-" included, each name once. When it
// could not keep a changes-only list, changesWereNotSaved makes the next changes-only save hand out
// that list's records, statistics days and removals again; a later save takes the store as done.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

// One stored pair.
class Serial {
public:
    std::string name;
    std::string value;

    Serial(std::string name, std::string value);
};

using SerialList = std::vector<std::shared_ptr<Serial>>;
using SerialListPtr = std::shared_ptr<SerialList>;

// Where a save notes what it went through: the name of every record it handled (written or not) and
// the records whose locally-dirty flag it cleared in a changes-only save. Records in sharedRecords
// belong to another store's bookkeeping: they are written, but their flag stays set and they are
// not noted as saved.
struct SaveBook {
    std::set<std::string>& savedNames;
    std::vector<std::shared_ptr<VxMetadata>>& savedRecords;
    const std::unordered_set<const VxMetadata*>* sharedRecords = nullptr;
};

// The bookkeeping of the dataset's store: the global state's manifest. The caller holds the master lock.
SaveBook globalSaveBook();

// The record's stem, "-", and its URN with every "/" written as ",".
std::string serializationName(const VxMetadata& record);
template <class T>
std::string serializationName(const std::shared_ptr<T>& record) {
    return serializationName(static_cast<const VxMetadata&>(*record));
}

// One record: its name goes into the book; its pair (local JSON form) is appended when changedOnly is
// off or the record is locally dirty, and a changes-only save also clears that flag and notes the
// record. The caller holds the master lock.
template <class T>
void serialize(SerialList& list, const std::shared_ptr<T>& record, bool changedOnly, const SaveBook& book) {
    if (!record) return;
    std::string name = serializationName(*record);
    if (!changedOnly || record->localDirty) {
        list.push_back(std::make_shared<Serial>(name, record->toJSON(false)));
        if (changedOnly && !(book.sharedRecords && book.sharedRecords->count(record.get()))) {
            record->localDirty = false;
            book.savedRecords.push_back(record);
        }
    }
    book.savedNames.insert(std::move(name));
}

// serialize into the dataset store's bookkeeping.
template <class T>
void serialize(SerialList& list, const std::shared_ptr<T>& record, bool changedOnly) {
    LockScope lock(masterMutex);
    serialize(list, record, changedOnly, globalSaveBook());
}

// serialize of every record of the list, in list order, under the master lock.
template <class T>
void serializeList(SerialList& list, const RecordListPtr<T>& records, bool changedOnly, const SaveBook& book) {
    LockScope lock(masterMutex);
    if (!records) return;
    list.reserve(list.size() + (changedOnly ? 0 : records->size()));
    for (const std::shared_ptr<T>& record : *records) serialize(list, record, changedOnly, book);
}

template <class T>
void serializeList(SerialList& list, const RecordListPtr<T>& records, bool changedOnly) {
    LockScope lock(masterMutex);
    serializeList(list, records, changedOnly, globalSaveBook());
}

// Appends the pairs of the 22 record kinds in the store's order: Persists, PID, SID, User, Device, then
// the lists Deployment, App, XPID, CAJoin, Asset, AssetRight, AssetKey, AssetRequest, AssetFeature,
// ContingencyGroup, ContingencyKey, ContingencyMasterKey, AppData, TeamData, Upload, MFAPair,
// TeamAuthority. The caller holds the master lock.
void vxmcSerializeAll(SerialList& list, bool changedOnly);

// Under the sync lock, then the master lock: the store's list. With "persist_metadata" of the
// satellite policy off, only Persists and PID are written.
SerialListPtr serializeAll(bool changedOnly);

// Reads a stored pair into the record (which is then not locally dirty and not checked), and marks it
// locally dirty when the pair's name is not the name the record now yields. Whether the value was
// read: a value that is not JSON leaves the record as it was.
bool restore(const std::shared_ptr<VxMetadata>& record, const Serial& pair);

// Restores one checked pair into the record kind of its stem: the single records in place, a new
// record appended to its list for the list kinds; other stems are left alone. False when the value
// was not JSON. The caller holds the master lock.
bool vxmcRestoreOne(const Serial& pair, const std::string& stem);

// Under the sync lock, then the master lock: the dataset of the stored list, checked against its
// manifest, then the service address, key and times it records and, with the master lock released and
// the sync lock kept, a reconciliation pass over the restored lists. A list that does not pass its
// manifest leaves all metadata cleared and fails with VXMECAT_INVALID_METADATA; a record reader that
// refuses a checked pair fails with its own error, and what was restored before it stays.
void restoreAll(SerialList list);

// The host could not keep the last changes-only list: under the sync lock, then the master lock, its
// records become locally dirty again, and its statistics days and removals are handed out again by
// the next changes-only save.
void changesWereNotSaved();

} // namespace VxMeta
