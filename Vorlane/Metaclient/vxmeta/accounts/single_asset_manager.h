// SingleAssetManager: one managed key (an Asset) with the records that belong to it: its access
// requests, rights, key revisions and features. The public API makes one per key operation; its lists
// hold the same record objects as the global lists when they were copied from them. The manager sends
// its changed records (sync), reconciles its lists (examineState), and keeps a store of its own:
// serializeAll and restoreAll write and read the persisted store's pairs for its five lists, without
// an integrity manifest. So far it is filled by its own restore; loading a key from the dataset or
// the service comes with key loading.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/vx_metadata.h"
#include "vxmeta/sync/persisted_store.h"

namespace VxMeta {

class Asset;
class AssetRequest;
class AssetRight;
class AssetKey;
class AssetFeature;

class SingleAssetManager {
public:
    std::shared_ptr<Asset> asset;
    // Holds exactly the asset.
    RecordListPtr<Asset> assets;
    RecordListPtr<AssetRequest> requests;
    RecordListPtr<AssetRight> rights;
    RecordListPtr<AssetKey> keys;
    RecordListPtr<AssetFeature> features;
    // Records added to or removed from the manager's lists are added to or removed from the global
    // lists too; nothing clears it.
    bool mirroring = true;
    // The key was loaded for its owner, requests included.
    bool fullyLoaded = false;
    // The records whose locally-dirty flag the last changes-only save of the manager cleared.
    std::vector<std::shared_ptr<VxMetadata>> savedRecords;
    // The names of the records of the manager's last save, written or not.
    std::set<std::string> savedNames;

    // An empty asset and empty lists.
    SingleAssetManager();

    // Under the master lock, back to an empty manager (nothing when the asset's URN is empty).
    void clear();
    std::string getKind() const;
    std::string getURN() const;

    // Sends the changed records, reconciles the lists (the per-key pass), and sends what the pass changed.
    void examineState();

    // Under the master lock: the pairs of the asset, keys, rights, requests and features lists, in that
    // order (every record, or the locally dirty ones and an empty value for each name of the last
    // save that no record yields any more). A changes-only save clears the flag of the records of the
    // manager's own; records shared with the global lists keep theirs, and the dataset store's
    // bookkeeping is left alone, so the dataset's next changes-only save still writes them.
    SerialListPtr serializeAll(bool changesOnly);
    // Under the master lock, reads the pairs of the manager's stems ("asset" into the manager's asset,
    // the others appended to their lists; other stems are skipped), then examineState. A record reader's
    // failure propagates and leaves the pairs before it restored.
    void restoreAll(SerialList pairs);
    // Sends the changed records of the features, rights and keys lists (mustSyncList).
    void sync();
};

// Sends each record of a copy of the list (made under the master lock) that holds unsent changes,
// without the master lock; the first failure propagates and the later records are not sent.
template <class T>
void mustSyncList(const RecordListPtr<T>& list) {
    const RecordListPtr<T> copy = MLockClone(list);
    if (!copy) return;
    for (const std::shared_ptr<T>& record : *copy)
        if (record) record->sync();
}

} // namespace VxMeta
