#include "vxmeta/sync/sync_cycle.h"

#include <mutex>
#include <optional>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/accounts/personal_key.h"
#include "vxmeta/api/application_status_manager.h"
#include "vxmeta/api/extensible_stats.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
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
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/etag.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/data_memo_processor.h"
#include "vxmeta/sync/deployments.h"
#include "vxmeta/sync/list_push.h"
#include "vxmeta/sync/list_refresh.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/signature_checks.h"
#include "vxmeta/sync/site_documents.h"
#include "vxmeta/sync/state_processor.h"

namespace VxMeta {

namespace {

// The records of one cycle: the dataset's single records as they were when it started.
struct CycleRecords {
    std::shared_ptr<Persists> persists;
    std::shared_ptr<PID> pid;
    std::shared_ptr<SID> sid;
    std::shared_ptr<User> user;
    std::shared_ptr<Device> device;
};

// What a cycle noted when the Etag record had just been read.
struct CycleTags {
    bool full = false;
    bool pidWasDirty = false;
    bool listsPushed = false;
    int32_t heldEtag = 0;
    int32_t heldExpectedEtag = 0;
};

// Under the master lock: locker support is on and the configuration is stale by the tags (or full).
bool lockerConfigStale(const CycleRecords& records, const Etag& etag, bool full) {
    LockScope lock(masterMutex);
    const Persists& persists = *records.persists;
    return persists.lockerActive && (full || persists.lockerConfig.empty() || persists.ltag != etag.ltag ||
                                     persists.lastGroupTag != records.user->groupTag);
}

// The reconciliation pass over the global lists (the pass takes the master lock itself, around its
// steps only); when it changed something for a logged-in user, the lists are pushed and, with passAgain,
// the same pass runs once more (never a third time).
void reconcile(bool passAgain) {
    StateProcessor pass(myAssets, myRights, myKeys, myFeatures);
    pass.runMaster();
    if (!loggedIn() || !pass.isChanged()) return;
    syncLists();
    if (passAgain) pass.runMaster();
}

[[noreturn]] void credentialsNoLongerMatch() {
    logout();
    VxMetaException failure(VXMECAT_HTTP, "Credentials no longer match", VXMEREASON_CREDENTIALS);
    failure.httpStatus = 403;
    throw failure;
}

void changedBranch(const CycleRecords& records, const Etag& etag, const CycleTags& tags) {
    if (tags.heldExpectedEtag != 0 && (tags.heldEtag != etag.etag || tags.heldExpectedEtag != etag.etag))
        VXLOG(4, "etag change had %d expected %d got %d", tags.heldEtag, tags.heldExpectedEtag, etag.etag);
    std::string heldSproxy;
    User fresh;
    int64_t userId = 0;
    {
        LockScope lock(masterMutex);
        heldSproxy = records.user->sproxy;
        fresh.id = userId = records.pid->id;
    }
    // A reply that is not the user's record (one that does not read, or an object of another id, such
    // as a proxy's "{}") says nothing about the credentials: only the user's record as read is
    // compared, and merged below.
    const bool freshRead = fresh.get() && fresh.id == userId;
    if (freshRead && !heldSproxy.empty() && heldSproxy != fresh.sproxy) credentialsNoLongerMatch();
    bool authenticated = false;
    {
        LockScope lock(masterMutex);
        authenticated = records.user->authenticated;
    }
    if (authenticated && !tags.listsPushed) syncLists();
    records.pid->refresh();
    int64_t deviceId = 0;
    {
        LockScope lock(masterMutex);
        deviceId = records.device->id;
    }
    if (deviceId != 0) {
        records.device->refresh();
        checkDeviceAllowed();
    }
    if (freshRead) records.user->copyUpdate(fresh);
    if (lockerConfigStale(records, etag, tags.full)) fetchLockerConfig(etag.ltag);

    std::string since;
    {
        LockScope lock(masterMutex);
        since = records.user->last_sweep;
    }
    DataMemoProcessor memos;
    if (!since.empty()) memos.go();
    vxmcRefreshLists(since);
    fetchDeployments();
    {
        // Only a changed branch that got this far moves the sweep time and the expected etag: one
        // that failed before is repeated by the next cycle with the same since text.
        LockScope lock(masterMutex);
        records.user->last_sweep = records.user->now;
        records.user->expectedEtag = etag.etag;
        records.user->localDirty = true;
    }
    runMasterStateProcessor();
    checkAllSignatures();
    checkForSpecialAssets();
    if (!since.empty()) memos.garbageCollect();
    updateOnlineTime(false);
    bool tdeAgent = false;
    {
        LockScope lock(masterMutex);
        tdeAgent = globalState.tdeAgentMode;
    }
    if (tdeAgent) {
        Action compliance;
        compliance.encode("etag", etag.etag);
        compliance.perform("aa/tdeCompliance", true, false);
    }
}

void unchangedBranch(const CycleRecords& records, const Etag& etag, const CycleTags& tags) {
    if (lockerConfigStale(records, etag, false)) fetchLockerConfig(etag.ltag);
    if (tags.pidWasDirty) {
        int64_t pidId = 0;
        {
            LockScope lock(masterMutex);
            pidId = records.pid->id;
        }
        const RecordListPtr<XPID> identities = getMyXPIDs();
        if (identities)
            if (const std::shared_ptr<XPID> own = searchId(*identities, pidId)) own->refresh();
    }
    reconcile(false);
    fetchDeployments();
    checkAllSignatures();
    updateOnlineTime(false);
}

} // namespace

bool shouldSync(long serverEtag, long expectedEtag) {
    return expectedEtag < serverEtag || (serverEtag < 0 && expectedEtag > 0);
}

std::shared_ptr<XPID> searchId(RecordList<XPID>& list, int64_t id) {
    LockScope lock(masterMutex);
    for (const std::shared_ptr<XPID>& identity : list)
        if (identity && identity->id == id) return identity;
    return nullptr;
}

bool fetchEtagAndUpdateClusterInfo(Etag& etag) {
    int64_t pidId = 0;
    {
        LockScope lock(masterMutex);
        if (myPID) pidId = myPID->id;
    }
    const ClusterEvaluatorPtr evaluator = getMyClusterEvaluator();
    // Each known server once, the master once more and one refreshed list, as the failover wrapper.
    const size_t limit = evaluator->getClusterServerUrls().size() + 2;
    std::optional<VxMetaException> last;
    for (size_t attempt = 0; attempt < limit; ++attempt) {
        etag.id = pidId;
        bool read = false;
        try {
            read = etag.get();
        } catch (const VxMetaException&) {
            checkRemoteDisabled();
            throw;
        }
        if (!read) return false;
        evaluator->manuallyRetrievedCtag(etag.ctag);
        try {
            evaluator->fetchClusterInfoIfNeeded();
            return true;
        } catch (const VxMetaException& e) {
            VXLOG(2, "Cluster information refresh failed - %s", e.message.c_str());
            last = e;
        }
    }
    VxMetaException failure = *last;
    failure.category = VXMECAT_COMMUNICATION_ERROR;
    throw failure;
}

void syncLists() {
    vxmcSyncLists();
    LockScope lock(masterMutex);
    if (!myApps) return;
    const int64_t deviceId = myDevice ? myDevice->id : 0;
    for (const std::shared_ptr<App>& app : *myApps)
        if (app && app->deviceid == deviceId && app->name == appName) {
            globalState.myApp = app;
            return;
        }
}

void runMasterStateProcessor() { reconcile(true); }

void vxmcRefreshLists(const std::string& since) {
    bool appsSupported = false;
    bool tdeAgent = false;
    {
        LockScope lock(masterMutex);
        appsSupported = globalState.appListSupported;
        tdeAgent = globalState.tdeAgentMode;
    }
    if (appsSupported) refreshListThenRemoveUnmarked(getMyApps());
    if (!tdeAgent) refreshListIncremental(getMyXPIDs(), since);
    // The team's answers to the user's joins arrive only here.
    refreshListThenRemoveUnmarked(getMyCAJoins());
    refreshListIncremental(getMyAssets(), since);
    refreshListIncremental(getMyRights(), since);
    refreshListIncremental(getMyKeys(), since);
    if (!tdeAgent) refreshListIncremental(getMyRequests(), since);
    refreshListIncremental(getMyFeatures(), since);
    if (!tdeAgent) {
        refreshListThenRemoveUnmarked(getMyContingencyGroups());
        refreshListThenRemoveUnmarked(getMyContingencyKeys());
        refreshListThenRemoveUnmarked(getMyContingencyMasterKeys());
    }
    refreshListIncremental(getMyAppDatas(), since);
    refreshListThenRemoveUnmarked(getMyTeamDatas());
    refreshListThenRemoveUnmarked(getMyUploads());
    if (!tdeAgent) refreshListThenRemoveUnmarked(getMyMFAPairs());
}

void sync(bool full) {
    LockScope syncLock(syncMutex);
    checkAllAccess(false, true);
    if (!loggedIn()) return;
    {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        syncProblems.clear();
    }
    CycleRecords records;
    CycleTags tags;
    tags.full = full;
    {
        LockScope lock(masterMutex);
        records = {myPersists, myPID, mySID, myUser, myDevice};
        if (full && !records.user->last_sweep.empty()) {
            records.user->last_sweep.clear();
            records.user->localDirty = true;
        }
        tags.pidWasDirty = records.pid->remoteDirty && records.pid->id != 0;
    }
    records.pid->trySync();
    {
        LockScope lock(masterMutex);
        if (records.pid->id == 0) return;
    }
    records.sid->trySync();
    if (records.user->trySync()) {
        std::string dataCenter;
        {
            LockScope lock(masterMutex);
            dataCenter = records.user->dataCenter;
        }
        getMyClusterEvaluator()->setHomeDataCenter(dataCenter);
    }
    records.device->trySync();
    checkSendExtensibleStats();
    getMyApplicationStatusManager()->reportApplicationStatuses();
    bool authenticated = false;
    {
        LockScope lock(masterMutex);
        if (ignore_email_auth) records.user->authenticated = true;
        authenticated = records.user->authenticated;
    }
    if (authenticated) {
        syncLists();
        tags.listsPushed = true;
    }

    Etag etag;
    if (!fetchEtagAndUpdateClusterInfo(etag)) return;
    updateOnlineTime(false);
    bool siteStale = false;
    {
        LockScope lock(masterMutex);
        tags.heldEtag = records.user->etag;
        tags.heldExpectedEtag = records.user->expectedEtag;
        siteStale = records.persists->siteData.empty() || records.persists->gtag != static_cast<int64_t>(etag.gtag);
    }
    if (siteStale) fetchSiteData(etag.gtag);

    bool changed = shouldSync(etag.etag, tags.heldExpectedEtag);
    if (!changed) {
        {
            LockScope lock(masterMutex);
            if (tags.heldEtag != etag.etag) {
                VXLOG(4, "etag updated from %d to %d (was an expected change)", tags.heldEtag, etag.etag);
                records.user->etag = etag.etag;
                records.user->localDirty = true;
            }
        }
        changed = full;
    }
    if (changed)
        changedBranch(records, etag, tags);
    else
        unchangedBranch(records, etag, tags);
}

} // namespace VxMeta
