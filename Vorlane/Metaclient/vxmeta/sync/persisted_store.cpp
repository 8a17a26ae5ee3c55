#include "vxmeta/sync/persisted_store.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/api/stat_state.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_info.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"
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
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/state_processor.h"
#include "vxmeta/sync/store_restore_steps.h"

namespace VxMeta {

Serial::Serial(std::string pairName, std::string pairValue) : name(std::move(pairName)), value(std::move(pairValue)) {}

SaveBook globalSaveBook() { return SaveBook{globalState.manifest.savedNames, globalState.manifest.savedRecords}; }

std::string serializationName(const VxMetadata& record) {
    const char* stem = record.stem();
    const std::string urn = record.geturn();
    std::string name;
    name.reserve((stem ? std::char_traits<char>::length(stem) : 0) + 1 + urn.size());
    if (stem) name += stem;
    name += '-';
    name += urn;
    std::replace(name.end() - static_cast<std::ptrdiff_t>(urn.size()), name.end(), '/', ',');
    return name;
}

void vxmcSerializeAll(SerialList& list, bool changedOnly) {
    LockScope lock(masterMutex);
    const SaveBook book = globalSaveBook();
    serialize(list, myPersists, changedOnly, book);
    serialize(list, myPID, changedOnly, book);
    serialize(list, mySID, changedOnly, book);
    serialize(list, myUser, changedOnly, book);
    serialize(list, myDevice, changedOnly, book);
    serializeList(list, myDeployments, changedOnly, book);
    serializeList(list, myApps, changedOnly, book);
    serializeList(list, myXPIDs, changedOnly, book);
    serializeList(list, myCAJoins, changedOnly, book);
    serializeList(list, myAssets, changedOnly, book);
    serializeList(list, myRights, changedOnly, book);
    serializeList(list, myKeys, changedOnly, book);
    serializeList(list, myRequests, changedOnly, book);
    serializeList(list, myFeatures, changedOnly, book);
    serializeList(list, myContingencyGroups, changedOnly, book);
    serializeList(list, myContingencyKeys, changedOnly, book);
    serializeList(list, myContingencyMasterKeys, changedOnly, book);
    serializeList(list, myAppDatas, changedOnly, book);
    serializeList(list, myTeamDatas, changedOnly, book);
    serializeList(list, myUploads, changedOnly, book);
    serializeList(list, myMFAPairs, changedOnly, book);
    serializeList(list, myTeamAuthorities, changedOnly, book);
}

SerialListPtr serializeAll(bool changedOnly) {
    LockScope syncLock(syncMutex);
    LockScope masterLock(masterMutex);
    Manifest& manifest = globalState.manifest;
    // A new save means the host kept the last list.
    manifest.unconfirmedRemovals.clear();
    // The names of the last save or restore: whatever no record yields any more is announced as
    // removed, by a full save as by a changes-only one (a record renamed since is written under its
    // new name, and the host must not keep it under the old one too).
    std::set<std::string> previous;
    previous.swap(manifest.savedNames);
    auto list = std::make_shared<SerialList>();
    manifest.savedRecords.clear();
    if (globalState.satellitePolicy.persist_metadata) {
        vxmcSerializeAll(*list, changedOnly);
    } else {
        const SaveBook book = globalSaveBook();
        serialize(*list, myPersists, changedOnly, book);
        serialize(*list, myPID, changedOnly, book);
    }
    serializeStats(*list, changedOnly);
    manifest.entries.reserve(manifest.entries.size() + list->size());
    for (const std::shared_ptr<Serial>& pair : *list) manifest.store(pair->name, pair->value);
    for (const std::string& name : previous) {
        if (manifest.savedNames.count(name)) continue;
        const auto entry = manifest.entries.find(name);
        manifest.unconfirmedRemovals.push_back(entry != manifest.entries.end() ? entry->second : Manifest::Entry());
        manifest.unconfirmedRemovals.back().name = name;
        list->push_back(std::make_shared<Serial>(name, std::string()));
        manifest.store(name, std::string());
    }
    if (!list->empty()) list->push_back(std::make_shared<Serial>("m-", manifest.toJson()));
    return list;
}

bool restore(const std::shared_ptr<VxMetadata>& record, const Serial& pair) {
    const bool read = record->restore(pair.value);
    LockScope lock(masterMutex);
    if (pair.name != serializationName(*record)) record->localDirty = true;
    return read;
}

namespace {

// Names that records restored from pairs of another name yield, in the restore under way (the sync
// and master locks held): a pair of such a name met later holds the same record.
std::unordered_set<std::string>& misnamedRecords() {
    static std::unordered_set<std::string> names;
    return names;
}

// A store that a full save wrote after a record was renamed may hold it twice: under its old name
// (the older value) and under its own. One record comes back, the own-named pair's; the old name
// is announced as removed by the next save.
template <class T>
bool restoreInto(const RecordListPtr<T>& list, const Serial& pair) {
    auto record = std::make_shared<T>();
    const bool read = restore(record, pair);
    const std::string name = serializationName(*record);
    const bool ownName = name == pair.name;
    if (!ownName || misnamedRecords().count(name) != 0) {
        const auto held = std::find_if(list->begin(), list->end(), [&](const std::shared_ptr<T>& other) {
            return other && serializationName(*other) == name;
        });
        if (held != list->end()) {
            if (ownName) *held = std::move(record);
            return read;
        }
        if (!ownName) misnamedRecords().insert(name);
    }
    list->push_back(std::move(record));
    return read;
}

using Restorer = bool (*)(const Serial&);

// A device pair written before the recovery code was kept out of the store may still hold one: the
// code is forgotten (the service keeps its own) and the record is written again without it.
bool restoreDevice(const Serial& pair) {
    const bool read = restore(myDevice, pair);
    LockScope lock(masterMutex);
    if (!myDevice->recovery_code.empty()) {
        wipeText(myDevice->recovery_code);
        myDevice->localDirty = true;
    }
    return read;
}

// The restorer of each stem that a record kind bears.
const std::unordered_map<std::string, Restorer>& restorers() {
    static const std::unordered_map<std::string, Restorer> table{
        {"persists", [](const Serial& p) { return restore(myPersists, p); }},
        {"pid", [](const Serial& p) { return restore(myPID, p); }},
        {"sid", [](const Serial& p) { return restore(mySID, p); }},
        {"user", [](const Serial& p) { return restore(myUser, p); }},
        {"device", restoreDevice},
        {"deployment", [](const Serial& p) { return restoreInto(myDeployments, p); }},
        {"app", [](const Serial& p) { return restoreInto(myApps, p); }},
        {"xpid", [](const Serial& p) { return restoreInto(myXPIDs, p); }},
        {"cajoin", [](const Serial& p) { return restoreInto(myCAJoins, p); }},
        {"asset", [](const Serial& p) { return restoreInto(myAssets, p); }},
        {"assetright", [](const Serial& p) { return restoreInto(myRights, p); }},
        {"assetkey", [](const Serial& p) { return restoreInto(myKeys, p); }},
        {"assetrequest", [](const Serial& p) { return restoreInto(myRequests, p); }},
        {"assetfeature", [](const Serial& p) { return restoreInto(myFeatures, p); }},
        {"contingencygroup", [](const Serial& p) { return restoreInto(myContingencyGroups, p); }},
        {"contingencykey", [](const Serial& p) { return restoreInto(myContingencyKeys, p); }},
        {"contingencymasterkey", [](const Serial& p) { return restoreInto(myContingencyMasterKeys, p); }},
        {"appdata", [](const Serial& p) { return restoreInto(myAppDatas, p); }},
        {"teamdata", [](const Serial& p) { return restoreInto(myTeamDatas, p); }},
        {"upload", [](const Serial& p) { return restoreInto(myUploads, p); }},
        {"mfapair", [](const Serial& p) { return restoreInto(myMFAPairs, p); }},
        {"teamauthority", [](const Serial& p) { return restoreInto(myTeamAuthorities, p); }},
    };
    return table;
}

// Restores a pair that passed its check. What the record readers make of it (a value that is not
// JSON leaves the record as it was) is not examined, and a failure they raise passes on unchanged:
// the pair is the one this store wrote, so it is no sign of a tampered store, and nothing is cleared.
void restoreChecked(const Serial& pair, const std::string& stem) {
    if (stem == "xstat") {
        restoreStat(pair.name.substr(std::min(pair.name.size(), stem.size() + 1)), pair.value);
    } else if (stem != "toopherpair") {
        vxmcRestoreOne(pair, stem);
    }
}

// Application data of no owner never survives a restore.
void dropOwnerlessAppData() {
    for (const std::shared_ptr<AppData>& datum : *myAppDatas) {
        datum->marked = !datum->owner.empty();
        if (!datum->marked) datum->remoteDirty = false;
    }
    removeUnmarked(*myAppDatas);
}

// The service address, key, times and home server that the restored records hold.
void applyRestoredSettings() {
    const std::shared_ptr<Persists> persists = myPersists;
    if (persists->clusterInfo.empty()) {
        if (!persists->setPrefix.empty()) setMds(persists->setPrefix, persists->mdsPubkey);
    } else {
        getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::ClusterInfo::fromJson(persists->clusterInfo), true);
    }
    getMyClusterEvaluator()->setHomeDataCenter(myUser->dataCenter);
    setMdsPubkey(persists->mdsPubkey);
    lastOnlineTime = persists->lastOnlineTime;
    if (nowSeconds() - persists->lastOnlineTime < 0) {
        // A stored time in the future would stretch the offline allowance.
        lastOnlineTime = 0;
        if (persists->lastOnlineTime != 0) {
            persists->lastOnlineTime = 0;
            persists->localDirty = true;
        }
    }
    globalState.homeServer = myUser->homeServer;
}

} // namespace

bool vxmcRestoreOne(const Serial& pair, const std::string& stem) {
    const auto& table = restorers();
    const auto found = table.find(stem);
    return found == table.end() || found->second(pair);
}

void restoreCheckedPairs(const SerialList& list) {
    if (didInit) mdClearAll(false);
    else init();
    misnamedRecords().clear();
    if (list.empty()) return;
    Manifest& manifest = globalState.manifest;
    const auto document = std::find_if(list.begin(), list.end(), [](const std::shared_ptr<Serial>& pair) {
        return pair && pair->name == "m-";
    });
    if (document == list.end()) Manifest::throwInvalidMetadata("Missing manifest");
    manifest.fromJson((*document)->value);
    for (const std::shared_ptr<Serial>& pair : list) {
        if (!pair) continue;
        const std::string stem = pair->name.substr(0, pair->name.find('-'));
        if (stem == "m") continue;
        manifest.verifyManifest(pair->name, pair->value);
        restoreChecked(*pair, stem);
    }
    if (!manifest.allVerified()) Manifest::throwInvalidMetadata("Missing metadata");
    // Every entry was met exactly once: the names checked are the names of the entries.
    std::vector<const std::string*> names;
    names.reserve(manifest.entries.size());
    for (const auto& [name, entry] : manifest.entries) names.push_back(&name);
    std::sort(names.begin(), names.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
    for (const std::string* name : names) manifest.savedNames.emplace_hint(manifest.savedNames.end(), *name);
}

void restoreAll(SerialList list) {
    LockScope syncLock(syncMutex);
    LockScope masterLock(masterMutex);
    restoreCheckedPairs(list);
    if (list.empty()) return;
    dropOwnerlessAppData();
    applyRestoredSettings();
    // The pass takes the master lock itself around its steps (a participant look-up or an answer to
    // a request may reach the service); the sync lock stays held, so nothing else changes the
    // dataset in between.
    masterLock.unlock();
    StateProcessor(myAssets, myRights, myKeys, myFeatures).runMaster();
}

void changesWereNotSaved() {
    LockScope syncLock(syncMutex);
    LockScope masterLock(masterMutex);
    Manifest& manifest = globalState.manifest;
    for (const std::shared_ptr<VxMetadata>& record : manifest.savedRecords) record->localDirty = true;
    for (Manifest::Entry& removal : manifest.unconfirmedRemovals) {
        manifest.savedNames.insert(removal.name);
        if (!removal.digest.empty()) manifest.entries[removal.name] = std::move(removal);
    }
    manifest.unconfirmedRemovals.clear();
    statsWereNotSaved();
}

} // namespace VxMeta
