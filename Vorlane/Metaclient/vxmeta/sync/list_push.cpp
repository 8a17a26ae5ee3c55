#include "vxmeta/sync/list_push.h"

#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

void vxmcSyncLists() {
    bool appsSupported = false;
    bool tdeAgent = false;
    {
        LockScope lock(masterMutex);
        appsSupported = globalState.appListSupported;
        tdeAgent = globalState.tdeAgentMode;
    }
    if (appsSupported) syncList(getMyApps());
    syncList(getMyAssets());
    syncList(getMyRights());
    syncList(getMyKeys());
    if (!tdeAgent) syncList(getMyRequests());
    syncList(getMyFeatures());
    if (!tdeAgent) {
        syncList(getMyContingencyGroups());
        syncList(getMyContingencyKeys());
        syncList(getMyContingencyMasterKeys());
    }
    syncList(getMyAppDatas());
    syncList(getMyTeamDatas());
    syncList(getMyUploads());
    if (!tdeAgent) syncList(getMyMFAPairs());
}

} // namespace VxMeta
