// StateProcessor: the reconciliation pass, a one-shot object built under the master lock over four
// record lists. It derives what the service does not send (upgrade levels and permissions of keys,
// links between records, the state of access requests, the user's team and key indexes) and repairs
// what the user's client is responsible for; isChanged tells the caller to push the lists.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class Asset;
class AssetRight;
class AssetKey;
class AssetFeature;

class StateProcessor {
public:
    // Over the four list holders (kept by reference); reads the user's identity. The caller holds
    // the master lock.
    StateProcessor(RecordListPtr<Asset>& assets, RecordListPtr<AssetRight>& rights, RecordListPtr<AssetKey>& keys,
                   RecordListPtr<AssetFeature>& features);

    // The full pass over the global dataset. The caller holds the master lock.
    void runMaster();
    // The per-key part of the pass; fullPass is set by runMaster.
    void run(bool fullPass);
    // Whether the pass created or changed something that must be pushed.
    bool isChanged() const { return changed; }

    std::string ownerUrn;
    int64_t ownerId = 0;
    bool changed = false;
    std::string forwardingUrn;
    RecordListPtr<Asset>& assets;
    RecordListPtr<AssetRight>& rights;
    RecordListPtr<AssetFeature>& features;
    RecordListPtr<AssetKey>& keys;
};

} // namespace VxMeta
