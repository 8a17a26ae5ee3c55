// Dataset: a snapshot of the library's whole in-memory state (the global state record, the cluster
// evaluator and server registry, and every dataset record and list). `freeze` moves the state into
// the snapshot and leaves the library empty (the sign-out does it); `use` gives the library the
// snapshot's state again. Destroying a snapshot frees what it holds, once nobody else shares it, and
// wipes the secrets of its state record.
#pragma once

#include <memory>

#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/vx_metadata.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

// The snapshot slot takes the object the global held; the global gets a fresh empty record or list.
// The caller holds the master lock.
template <class T>
void freeze1(std::shared_ptr<T>& slot, std::shared_ptr<T>& global) {
    slot = std::move(global);
    global = std::make_shared<T>();
}

class Dataset {
public:
    // Empty.
    Dataset();
    // Frees what it holds.
    ~Dataset();
    Dataset(const Dataset&) = delete;
    Dataset& operator=(const Dataset&) = delete;

    // Under the sync lock, then the master lock (after the library's start): the whole state moves
    // into this snapshot and the library gets a fresh one (the built-in service key, a new cluster
    // evaluator and registry, empty records and lists).
    void freeze();
    // Under the sync lock, then the master lock: the library's state becomes this snapshot's, which
    // it keeps sharing. A slot that holds nothing (a snapshot never frozen) gives a fresh empty one.
    void use();

    MetaState state;
    ClusterEvaluatorPtr clusterEvaluator;
    ClusterServersPtr clusterServers;
    std::shared_ptr<Persists> persists;
    std::shared_ptr<PID> pid;
    std::shared_ptr<SID> sid;
    std::shared_ptr<User> user;
    std::shared_ptr<Device> device;
    RecordListPtr<Deployment> deployments;
    RecordListPtr<App> apps;
    RecordListPtr<XPID> xpids;
    RecordListPtr<CAJoin> caJoins;
    RecordListPtr<Asset> assets;
    RecordListPtr<AssetRight> rights;
    RecordListPtr<AssetKey> keys;
    RecordListPtr<AssetRequest> requests;
    RecordListPtr<AssetFeature> features;
    RecordListPtr<ContingencyGroup> contingencyGroups;
    RecordListPtr<ContingencyKey> contingencyKeys;
    RecordListPtr<ContingencyMasterKey> contingencyMasterKeys;
    RecordListPtr<AppData> appDatas;
    RecordListPtr<TeamData> teamDatas;
    RecordListPtr<Upload> uploads;
    RecordListPtr<MFAPair> mfaPairs;
    RecordListPtr<TeamAuthority> teamAuthorities;
};

} // namespace VxMeta
