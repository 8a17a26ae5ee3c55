// The accounts side of what the access checks and logout call (declared in access/accounts_seam.h).
#include "vxmeta/access/accounts_seam.h"

#include "vxmeta/accounts/action.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/scope_login_changing.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

std::shared_ptr<void> beginLoginChange() { return std::make_shared<ScopeLoginChanging>(); }

bool loginScopeLoggedIn() { return ScopeLoginChanging::loggedIn(); }

Json::Value performAccountAction(const std::string& path, const std::string& ownerUrn, const Json::Value& members,
                                 bool useAccessToken, bool implicitAuth) {
    Action action(false);
    action.encodeDeviceAppPlatformInfo(ownerUrn);
    for (const std::string& name : members.getMemberNames()) action.encode(name, members[name]);
    return action.perform(path, useAccessToken, implicitAuth);
}

void adoptMfaPolicy(const TeamData& record) {
    LockScope lock(masterMutex);
    MfaPolicy policy = MfaPolicy::fromTeamData(record);
    policy.setClientVerified(globalState.mfaPolicy);
    globalState.mfaPolicy = policy;
}

} // namespace VxMeta
