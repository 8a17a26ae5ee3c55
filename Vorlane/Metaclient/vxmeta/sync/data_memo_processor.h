// DataMemoProcessor: applies the service's data memos, which announce deletions that incremental list
// refreshes cannot show. One pass pages through the memos since the last sweep, removes the records
// they delete and, with a deleted identity or managed key, what depends on it; after the lists were
// refreshed its garbage collection removes the identities nothing held refers to any more. Records
// with unsent changes are never removed. The marks of a pass are its own (kept in its maps), so a
// reconciliation pass on another thread cannot change what this pass keeps.
#pragma once

#include <cstdint>
#include <memory>

#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/list_maps.h"

namespace VxMeta {

class DataMemoProcessor {
public:
    DataMemoProcessor() = default;

    // The memo pass: pages of the user's "fetch_max" memos since the user's "last_sweep", then, when
    // any memo arrived, the cascades and the removal. Called without the master lock; request failures
    // other than a 404 pass on and remove nothing.
    void go();
    // After the lists were refreshed: keeps the identities of the user's team, the user's own, the
    // owners of held managed keys and the participants of kept rights; removes the other identities.
    void garbageCollect();
    // Marks the identity with that id, or reads it from the service and adds it when it is not
    // indexed (a failure is logged, nothing thrown). Called without the master lock.
    void markXPID(int64_t id);

    // The cascades and the keeping rules of the passes; the caller holds the master lock.
    void cascadeUnmarkedOwner(const RecordListPtr<Asset>& list);
    template <class T>
    void cascadeUnmarkedParticipant(const RecordListPtr<T>& list, IDMap<T>& map);
    template <class T>
    void cascadeUnmarkedAsset(const RecordListPtr<T>& list, IDMap<T>& map);
    void markOwner(const RecordListPtr<Asset>& list);
    void markParticipantRights(const RecordListPtr<AssetRight>& list);

    IDMap<XPID> xpids;
    IDMap<Asset> assets;
    IDMap<AssetFeature> features;
    IDMap<AssetRequest> requests;
    IDMap<AssetRight> rights;
    IDMap<AssetKey> keys;
    IDMap<AppData> appDatas;

private:
    // Applies one "delete" memo to the map of its entity kind.
    void applyDelete(const std::string& entityKind, int64_t id);
};

} // namespace VxMeta
