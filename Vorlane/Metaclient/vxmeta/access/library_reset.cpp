// Resetting the library's in-memory state: fresh dataset records and lists, a fresh global state, and
// a fresh cluster evaluator and server registry on the default server, or the current ones kept.
#include "vxmeta/access/library_reset.h"

#include "vxmeta/access/server_settings.h"
#include "vxmeta/access/state_seam.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

void vxmcClearAll() {
    mdClear(myPersists);
    mdClear(myPID);
    mdClear(mySID);
    mdClear(myUser);
    mdClear(myDevice);
    mdClear(myDeployments);
    mdClear(myApps);
    mdClear(myXPIDs);
    mdClear(myCAJoins);
    mdClear(myAssets);
    mdClear(myRights);
    mdClear(myKeys);
    mdClear(myRequests);
    mdClear(myFeatures);
    mdClear(myContingencyGroups);
    mdClear(myContingencyKeys);
    mdClear(myContingencyMasterKeys);
    mdClear(myAppDatas);
    mdClear(myTeamDatas);
    mdClear(myUploads);
    mdClear(myMFAPairs);
    mdClear(myTeamAuthorities);
}

void mdClearAll(bool keepServer) {
    LockScope scope(masterMutex);
    if (!keepServer) {
        // The registry first: the new evaluator registers its server in it.
        myClusterServers = std::make_shared<ClusterServers>();
        myClusterEvaluator = std::make_shared<ClusterEvaluator>(VCSR::CMDS_URL);
    }
    const std::string keptKey = servicePublicKey();
    clearGlobalState();
    std::shared_ptr<Persists> keptPersists = myPersists;
    vxmcClearAll();
    if (keepServer) {
        if (keptPersists) {
            myPersists->cmdsPrefix = keptPersists->cmdsPrefix;
            myPersists->setPrefix = keptPersists->setPrefix;
            myPersists->mdsPubkey = keptPersists->mdsPubkey;
            myPersists->lockerActive = keptPersists->lockerActive;
        }
        setMdsPubkey(keptKey);
    } else {
        setMdsPubkey(cmdsPubkey);
    }
    myPID->localDirty = myPID->remoteDirty = false;
    mySID->localDirty = mySID->remoteDirty = false;
    myUser->localDirty = myUser->remoteDirty = false;
    myDevice->localDirty = myDevice->remoteDirty = false;
}

} // namespace VxMeta
