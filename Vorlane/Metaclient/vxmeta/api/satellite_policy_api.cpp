// The organisation's policies (team data of the service), read before or after sign-in: a signed-in
// user's come from the dataset; otherwise the service is asked and its answer becomes the dataset's
// team data and the policy in force.
#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/account_state.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/list_refresh.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/signature_checks.h"

namespace VxMeta {

namespace {

// The team data the service answers on the path; nothing held is locked while it is asked.
Json::Value fetchPolicies(const std::string& path, bool implicitAuth) {
    VCSR executor;
    executor.useAccessToken = false;
    executor.implicitAuth = implicitAuth;
    return parseJson(executor.get(path));
}

// Under the sync lock: the answer replaces the dataset's team data and its policies take effect;
// the signatures are checked when asked.
RecordListPtr<TeamData> adoptPolicies(const Json::Value& answer, bool checkTheSignatures) {
    LockScope sync(syncMutex);
    updateListThenRemoveUnmarked(getMyTeamDatas(), answer);
    updatePolicy();
    if (checkTheSignatures) checkSignatures(getMyTeamDatas());
    return copyViewList(getMyTeamDatas());
}

} // namespace

RecordListPtr<TeamData> RawVorlane::getSatellitePolicyForUser() {
    {
        LockScope lock(masterMutex);
        if (loggedIn()) return copyViewList(myTeamDatas);
    }
    return adoptPolicies(fetchPolicies("aa/satellitePolicy", true), true);
}

RecordListPtr<TeamData> RawVorlane::getSatellitePolicy() {
    if (isRegistered()) return getSatellitePolicyForUser();
    const Json::Value answer = fetchPolicies("ua/satellitePolicy", false);
    bool haveKey = false;
    {
        LockScope lock(masterMutex);
        haveKey = !globalState.mdsPubkey.empty();
    }
    return adoptPolicies(answer, haveKey);
}

} // namespace VxMeta
