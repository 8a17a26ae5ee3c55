#include "vxmeta/accounts/team_membership.h"

#include "vxmeta/access/access_checks.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

constexpr char kAllow[] = "allow";

// Changes a held join through a working copy: the copy is PUT, and only an accepted change (with
// what the service answered) is merged into the held record.
template <class Edit>
void putJoin(const std::shared_ptr<CAJoin>& held, Edit edit) {
    const std::shared_ptr<CAJoin> copy = MLockClone(held);
    {
        LockScope lock(masterMutex);
        edit(*copy);
    }
    copy->changed();
    copy->put();
    copy->remoteDirty = false;
    held->copyUpdate(*copy);
}

} // namespace

std::shared_ptr<CAJoin> findCA(const std::string& teamUrn) {
    LockScope lock(masterMutex);
    if (myCAJoins)
        for (const std::shared_ptr<CAJoin>& join : *myCAJoins)
            if (join && eq(join->caurn, teamUrn)) return join;
    return nullptr;
}

std::shared_ptr<CAJoin> getCA() {
    LockScope lock(masterMutex);
    if (!myCAJoins) return nullptr;
    std::shared_ptr<CAJoin> lastAllowed;
    for (const std::shared_ptr<CAJoin>& join : *myCAJoins) {
        if (!join || join->userstatus != kAllow) continue;
        if (join->teamstatus == kAllow) return join;
        lastAllowed = join;
    }
    return lastAllowed;
}

void setCA(const std::string& teamUrn, const std::string& status) {
    LockScope sync(syncMutex);
    checkAllAccess(false, true);
    std::shared_ptr<CAJoin> joinOfTeam = findCA(teamUrn);
    const std::shared_ptr<CAJoin> current = getCA();
    std::string participant;
    std::string currentTeamStatus;
    std::string currentTeam;
    {
        LockScope lock(masterMutex);
        if (joinOfTeam && joinOfTeam->userstatus == status) return;
        if (myPID) participant = myPID->urn;
        if (current) {
            currentTeamStatus = current->teamstatus;
            currentTeam = current->caurn;
        }
    }
    if (current && currentTeamStatus == kAllow && (status == kAllow || joinOfTeam == current))
        throw VxMetaException(VXMECAT_CLIENT, "Your team status must be modified by your team administrator.");
    if (status == kAllow && current && !eq(currentTeam, teamUrn)) {
        if (!joinOfTeam && currentTeamStatus.empty())
            joinOfTeam = current; // a pending join moves to the new team
        else
            putJoin(current, [](CAJoin& join) { join.userstatus = "deny"; });
    }
    if (joinOfTeam) {
        putJoin(joinOfTeam, [&](CAJoin& join) {
            join.participant = participant;
            join.ca = teamUrn;
            join.userstatus = status;
        });
    } else if (status == kAllow) {
        auto join = std::make_shared<CAJoin>();
        join->participant = participant;
        join->ca = teamUrn;
        join->userstatus = kAllow;
        join->post();
        LockScope lock(masterMutex);
        join->remoteDirty = false;
        if (myCAJoins) myCAJoins->push_back(join);
    }
}

std::string getMyTeamGroupURN() {
    LockScope lock(masterMutex);
    return globalState.teamGroupUrn;
}

std::shared_ptr<XPID> getMyTeamGroupXPID() {
    const std::string urn = getMyTeamGroupURN();
    if (urn.empty()) return nullptr;
    return userLookupUrn(urn);
}

} // namespace VxMeta
