// The user's team: each membership, invitation or refusal is a CAJoin of myCAJoins in which the user
// answers "allow" or "deny" and the team answers in its turn. The user holds at most one full
// membership ("allow" on both sides), which only the team's side can end. Also the team group, the
// identity that stands for the whole team as a key participant.
#pragma once

#include <memory>
#include <string>

namespace VxMeta {

class CAJoin;
class XPID;

// Under the master lock: the first join of myCAJoins whose team URN ("caurn") equals teamUrn in any
// letter case, or null.
std::shared_ptr<CAJoin> findCA(const std::string& teamUrn);
// Under the master lock: the user's current join: the first full membership, else the last join the
// user said "allow" to, else null.
std::shared_ptr<CAJoin> getCA();
// The user joins or accepts (status "allow"), declines or leaves ("deny") a team, under the sync
// lock, for a logged-in user. A full member may only decline other teams: joining another team or
// leaving the current one fails with VXMECAT_CLIENT "Your team status must be modified by your team
// administrator.". Joining while another join is pending takes that join over for the new team, and
// withdraws any other join the user said "allow" to. Joins are changed on the service first (PUT of a
// working copy, or POST of a new join) and merged into the dataset only once it accepted them;
// failures of the service pass on.
void setCA(const std::string& teamUrn, const std::string& status);
// Under the master lock: the URN of the user's team group (empty without one).
std::string getMyTeamGroupURN();
// The team group's identity (looked up without the master lock), or null.
std::shared_ptr<XPID> getMyTeamGroupXPID();

} // namespace VxMeta
