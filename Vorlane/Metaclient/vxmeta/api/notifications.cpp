// The user's notices: team invitations, other users' requests for the user's managed keys,
// synchronization problems, the upgrade state and the reminder to set up MFA, computed from the
// dataset and the library state at each call; and the answers to them.
#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "vxmeta/accounts/access_requests.h"
#include "vxmeta/accounts/mfa_pairs.h"
#include "vxmeta/accounts/mfa_verification.h"
#include "vxmeta/accounts/team_membership.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/crypto/two_text_format.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/record_deletion.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/list_maps.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

const char kTeamInvitation[] = "team_invitation";
const char kAssetRequest[] = "asset_request";
const char kSyncProblem[] = "sync_problem";
const char kUpgradeState[] = "upgrade_state";

const char* const kUpgradeMessages[] = {
    "Some of your application data would work better if you upgraded. A new feature is being used in your data "
    "set but this version doesn't have it.",
    "Upgrading is suggested. A new feature is being used in your data set but this version doesn't have it.",
    "Upgrading is strongly advised. A new feature is being used in your data set that has put you in read-only "
    "mode for some data. Encryption or managing access will not be possible.",
    "Upgrading is required. A new feature is being used in your data set that prevents you from using some data "
    "at all. Certain encryptions or decryptions will not be possible.",
};

// What the look-up of one requester gave: the identity (null when there is none), or the failure.
struct RequesterLookup {
    std::shared_ptr<XPID> identity;
    std::optional<VxMetaException> failure;
};

RequesterLookup lookUpRequester(const std::string& participant) {
    RequesterLookup found;
    try {
        found.identity = userLookupUrn(participant);
    } catch (const VxMetaException& e) {
        found.failure = e;
    }
    return found;
}

void logRequesterFailure(const VxMetaException& e) {
    VXLOG(2,
          "Encountered an exception while attempting to find the participant for an AssetRequest Notification. "
          "Reason: %s, Message: %s, HttpCode: %d",
          e.reason.c_str(), e.message.c_str(), static_cast<int>(e.httpStatus));
}

// Under the master lock: the requesters of the access requests awaiting the user's answer that have
// no notice yet, each once.
std::vector<std::string> requestersWithoutNotice(const RecordListPtr<Notification>& notices) {
    LockScope lock(masterMutex);
    const URNMap<Notification> shown(notices, false);
    std::vector<std::string> participants;
    if (!myRequests) return participants;
    for (const std::shared_ptr<AssetRequest>& request : *myRequests) {
        if (!request || request->status != "notify" || shown.find(request->geturn())) continue;
        if (std::find(participants.begin(), participants.end(), request->participant) == participants.end())
            participants.push_back(request->participant);
    }
    return participants;
}

bool mfaNoticeDue(const MfaPolicy& policy) {
    if (!policy.getValid() || !policy.getRequired() || !policy.shouldNotifyUserToAddMfa()) return false;
    if (!usableMfaPairs(policy, false).empty()) return false;
    return policy.getAllowedKinds().count(MFA_KIND_TOTP) != 0;
}

void fill(Notification& notice, const char* mode, const std::string& type, const std::string& message) {
    notice.mode = mode;
    notice.type = type;
    notice.message = message;
}

} // namespace

std::shared_ptr<Notification> RawVorlane::Helper::newNotice(RawVorlane& api, const URNMap<Notification>& previous,
                                                            const std::string& urn) {
    LockScope lock(masterMutex);
    if (const std::shared_ptr<Notification> shown = previous.find(urn)) {
        api.notices->push_back(shown);
        return nullptr;
    }
    auto notice = std::make_shared<Notification>();
    notice->urn = urn;
    notice->id = static_cast<int64_t>(++api.noticeSerial);
    api.notices->push_back(notice);
    return notice;
}

std::string RawVorlane::Helper::label(const XPID& identity) { return Fmt("%s (%s)", identity.name, identity.email); }

RecordListPtr<Notification> RawVorlane::getNotifications() {
    // The requesters that new notices will name are looked up first, without the master lock: a
    // look-up may ask the service, and no request is sent with that lock held.
    std::map<std::string, RequesterLookup> requesters;
    for (const std::string& participant : requestersWithoutNotice(notices))
        requesters.emplace(participant, lookUpRequester(participant));

    LockScope lock(masterMutex);
    const URNMap<Notification> previous(notices, false);
    notices->clear();

    if (!isInATeam() && myCAJoins) {
        for (const std::shared_ptr<CAJoin>& join : *myCAJoins) {
            if (!join || join->teamstatus != "allow" || !join->userstatus.empty()) continue;
            if (const std::shared_ptr<Notification> notice =
                    Helper::newNotice(*this, previous, Fmt("team-invitation-%s", join->caurn))) {
                fill(*notice, "queue", kTeamInvitation, Fmt("You have been invited to join team %s", join->caurn));
                notice->action1 = "Join";
                notice->action2 = "Reject";
                notice->aux = join->caurn;
            }
        }
    }

    if (myRequests) {
        const RecordList<AssetRequest> requests = *myRequests;
        for (const std::shared_ptr<AssetRequest>& request : requests) {
            if (!request || request->status != "notify") continue;
            const std::string urn = request->geturn();
            if (previous.find(urn)) {
                Helper::newNotice(*this, previous, urn);
                continue;
            }
            try {
                // A request that arrived after the look-ups above is answered from the dataset only
                // (the look-up sends nothing while the master lock is held).
                const auto looked = requesters.find(request->participant);
                const RequesterLookup found =
                    looked != requesters.end() ? looked->second : lookUpRequester(request->participant);
                if (found.failure) throw *found.failure;
                if (!found.identity) continue;
                const std::string keyName = request->assetLink ? request->assetLink->name : std::string();
                if (const std::shared_ptr<Notification> notice = Helper::newNotice(*this, previous, urn)) {
                    fill(*notice, "queue", kAssetRequest,
                         Fmt("%s requests access to %s", Helper::label(*found.identity), keyName));
                    notice->action1 = "Allow";
                    notice->action2 = "Deny";
                }
            } catch (const VxMetaException& e) {
                logRequesterFailure(e);
            }
        }
    }

    std::vector<VxMetaException> problems;
    {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        problems = syncProblems;
    }
    for (const VxMetaException& problem : problems)
        if (const std::shared_ptr<Notification> notice = Helper::newNotice(*this, previous, problem.message))
            fill(*notice, "problem", kSyncProblem, problem.message);

    const int32_t upgrade = globalState.upgradeState;
    if (upgrade >= 1 && upgrade <= 4) {
        if (const std::shared_ptr<Notification> notice = Helper::newNotice(*this, previous, Fmt("VMCUS_%s", upgrade)))
            fill(*notice, "problem", kUpgradeState, kUpgradeMessages[upgrade - 1]);
    }

    const MfaPolicy policy = globalState.mfaPolicy;
    if (mfaNoticeDue(policy)) {
        if (const std::shared_ptr<Notification> notice =
                Helper::newNotice(*this, previous, NOTIFICATION_TYPE_MFA_REQUIRED)) {
            if (MfaVerification::canLaunchToCreateRemotely(policy)) {
                fill(*notice, "problem", NOTIFICATION_TYPE_MFA_REQUIRED,
                     "Your company policy requires multi-factor authentication.");
                notice->action1 = "Setup";
            } else {
                fill(*notice, "problem", NOTIFICATION_TYPE_MFA_REQUIRED,
                     "Your company policy requires multi-factor authentication. Please login to Tarvex for Windows "
                     "or macOS to setup.");
            }
        }
    }

    return std::make_shared<RecordList<Notification>>(*notices);
}

void RawVorlane::respondToNotification(const std::string& urn, const std::string& answer) {
    LockScope sync(syncMutex);
    const std::shared_ptr<Notification> notice = searchURN(notices, urn);
    if (!notice) return;
    std::string type;
    std::string aux;
    int64_t id = 0;
    {
        LockScope lock(masterMutex);
        type = notice->type;
        aux = notice->aux;
        id = notice->id;
    }
    if (type == kTeamInvitation) {
        setCA(aux, answer == "Join" ? "allow" : "deny");
    } else if (type == kAssetRequest) {
        if (const std::shared_ptr<AssetRequest> request = searchURN(getMyRequests(), urn))
            respondToRequest(request, canocase(answer));
    } else if (type == NOTIFICATION_TYPE_MFA_REQUIRED) {
        launchCreateTotpPairInBrowser();
    } else {
        throw VxMetaException(VXMECAT_INTERNAL, Fmt("Unexpected notification type %s", type));
    }
    removeItemById(*notices, id);
}

} // namespace VxMeta
