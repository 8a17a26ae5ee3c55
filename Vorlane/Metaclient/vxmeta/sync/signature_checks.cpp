#include "vxmeta/sync/signature_checks.h"

#include "vxmeta/foundation/lock_scope.h"
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

template <class T>
void checkOne(const std::shared_ptr<T>& record) {
    if (record) checkSignature(*record);
}

} // namespace

void vxmcCheckSignatures() {
    checkOne(getMyPersists());
    checkOne(getMyPID());
    checkOne(getMySID());
    checkOne(getMyUser());
    checkOne(getMyDevice());
    checkSignatures(getMyDeployments());
    checkSignatures(getMyApps());
    checkSignatures(getMyXPIDs());
    checkSignatures(getMyCAJoins());
    checkSignatures(getMyAssets());
    checkSignatures(getMyRights());
    checkSignatures(getMyKeys());
    checkSignatures(getMyRequests());
    checkSignatures(getMyFeatures());
    checkSignatures(getMyContingencyGroups());
    checkSignatures(getMyContingencyKeys());
    checkSignatures(getMyContingencyMasterKeys());
    checkSignatures(getMyAppDatas());
    checkSignatures(getMyTeamDatas());
    checkSignatures(getMyUploads());
    checkSignatures(getMyMFAPairs());
    checkSignatures(getMyTeamAuthorities());
}

void checkAllSignatures() {
    assertMasterLockNotHeld("checkAllSignatures");
    vxmcCheckSignatures();
}

} // namespace VxMeta
