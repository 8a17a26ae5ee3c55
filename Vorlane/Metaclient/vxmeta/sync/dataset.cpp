#include "vxmeta/sync/dataset.h"

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/team_authority.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

namespace {

// The global shares the snapshot's object; a slot that holds nothing gives a fresh empty one.
template <class T>
void useOne(std::shared_ptr<T>& global, const std::shared_ptr<T>& slot) {
    global = slot ? slot : std::make_shared<T>();
}

} // namespace

Dataset::Dataset() { VXLOG(5, "Dataset(%p) created", static_cast<const void*>(this)); }

Dataset::~Dataset() { VXLOG(5, "Dataset(%p) destroyed", static_cast<const void*>(this)); }

void Dataset::freeze() {
    LockScope sync(syncMutex);
    LockScope master(masterMutex);
    init();
    VXLOG(5, "Dataset(%p) freeze", static_cast<const void*>(this));
    state = globalState;
    clusterEvaluator = getMyClusterEvaluator();
    clusterServers = getMyClusterServers();
    freeze1(persists, myPersists);
    freeze1(pid, myPID);
    freeze1(sid, mySID);
    freeze1(user, myUser);
    freeze1(device, myDevice);
    freeze1(deployments, myDeployments);
    freeze1(apps, myApps);
    freeze1(xpids, myXPIDs);
    freeze1(caJoins, myCAJoins);
    freeze1(assets, myAssets);
    freeze1(rights, myRights);
    freeze1(keys, myKeys);
    freeze1(requests, myRequests);
    freeze1(features, myFeatures);
    freeze1(contingencyGroups, myContingencyGroups);
    freeze1(contingencyKeys, myContingencyKeys);
    freeze1(contingencyMasterKeys, myContingencyMasterKeys);
    freeze1(appDatas, myAppDatas);
    freeze1(teamDatas, myTeamDatas);
    freeze1(uploads, myUploads);
    freeze1(mfaPairs, myMFAPairs);
    freeze1(teamAuthorities, myTeamAuthorities);
    mdClearAll(false);
}

void Dataset::use() {
    LockScope sync(syncMutex);
    LockScope master(masterMutex);
    init();
    VXLOG(5, "Dataset(%p) use", static_cast<const void*>(this));
    globalState.wipeSecrets();
    globalState = state;
    // The registry first: a fresh evaluator registers its server in it.
    myClusterServers = clusterServers ? clusterServers : std::make_shared<ClusterServers>();
    myClusterEvaluator = clusterEvaluator ? clusterEvaluator : std::make_shared<ClusterEvaluator>(VCSR::CMDS_URL);
    useOne(myPersists, persists);
    useOne(myPID, pid);
    useOne(mySID, sid);
    useOne(myUser, user);
    useOne(myDevice, device);
    useOne(myDeployments, deployments);
    useOne(myApps, apps);
    useOne(myXPIDs, xpids);
    useOne(myCAJoins, caJoins);
    useOne(myAssets, assets);
    useOne(myRights, rights);
    useOne(myKeys, keys);
    useOne(myRequests, requests);
    useOne(myFeatures, features);
    useOne(myContingencyGroups, contingencyGroups);
    useOne(myContingencyKeys, contingencyKeys);
    useOne(myContingencyMasterKeys, contingencyMasterKeys);
    useOne(myAppDatas, appDatas);
    useOne(myTeamDatas, teamDatas);
    useOne(myUploads, uploads);
    useOne(myMFAPairs, mfaPairs);
    useOne(myTeamAuthorities, teamAuthorities);
}

} // namespace VxMeta
