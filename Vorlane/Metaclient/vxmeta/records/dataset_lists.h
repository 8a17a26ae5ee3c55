// The current dataset: one shared record per single-record class and one shared list per list
// class, read through the getMy accessors (each returns, under the master lock, a copy of the
// global's pointer: the caller shares the record or list with the dataset, null before start).
// mdClear installs a fresh record or list; whoever still holds the old one keeps it.
#pragma once

#include <algorithm>
#include <memory>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class Persists;
class PID;
class SID;
class User;
class Device;
class Deployment;
class App;
class XPID;
class CAJoin;
class Asset;
class AssetRight;
class AssetKey;
class AssetRequest;
class AssetFeature;
class ContingencyGroup;
class ContingencyKey;
class ContingencyMasterKey;
class AppData;
class TeamData;
class Upload;
class MFAPair;
class TeamAuthority;

extern std::shared_ptr<Persists> myPersists;
extern std::shared_ptr<PID> myPID;
extern std::shared_ptr<SID> mySID;
extern std::shared_ptr<User> myUser;
extern std::shared_ptr<Device> myDevice;
extern RecordListPtr<Deployment> myDeployments;
extern RecordListPtr<App> myApps;
extern RecordListPtr<XPID> myXPIDs;
extern RecordListPtr<CAJoin> myCAJoins;
extern RecordListPtr<Asset> myAssets;
extern RecordListPtr<AssetRight> myRights;
extern RecordListPtr<AssetKey> myKeys;
extern RecordListPtr<AssetRequest> myRequests;
extern RecordListPtr<AssetFeature> myFeatures;
extern RecordListPtr<ContingencyGroup> myContingencyGroups;
extern RecordListPtr<ContingencyKey> myContingencyKeys;
extern RecordListPtr<ContingencyMasterKey> myContingencyMasterKeys;
extern RecordListPtr<AppData> myAppDatas;
extern RecordListPtr<TeamData> myTeamDatas;
extern RecordListPtr<Upload> myUploads;
extern RecordListPtr<MFAPair> myMFAPairs;
extern RecordListPtr<TeamAuthority> myTeamAuthorities;

std::shared_ptr<Persists> getMyPersists();
std::shared_ptr<PID> getMyPID();
std::shared_ptr<SID> getMySID();
std::shared_ptr<User> getMyUser();
std::shared_ptr<Device> getMyDevice();
RecordListPtr<Deployment> getMyDeployments();
RecordListPtr<App> getMyApps();
RecordListPtr<XPID> getMyXPIDs();
RecordListPtr<CAJoin> getMyCAJoins();
RecordListPtr<Asset> getMyAssets();
RecordListPtr<AssetRight> getMyRights();
RecordListPtr<AssetKey> getMyKeys();
RecordListPtr<AssetRequest> getMyRequests();
RecordListPtr<AssetFeature> getMyFeatures();
RecordListPtr<ContingencyGroup> getMyContingencyGroups();
RecordListPtr<ContingencyKey> getMyContingencyKeys();
RecordListPtr<ContingencyMasterKey> getMyContingencyMasterKeys();
RecordListPtr<AppData> getMyAppDatas();
RecordListPtr<TeamData> getMyTeamDatas();
RecordListPtr<Upload> getMyUploads();
RecordListPtr<MFAPair> getMyMFAPairs();
RecordListPtr<TeamAuthority> getMyTeamAuthorities();

// Under the master lock, a fresh default record into a single-record global.
template <class T>
void mdClear(std::shared_ptr<T>& global) {
    auto fresh = std::make_shared<T>();
    LockScope lock(masterMutex);
    global = std::move(fresh);
}

// Under the master lock, a new empty list into a list global.
template <class T>
void mdClear(RecordListPtr<T>& global) {
    auto fresh = std::make_shared<RecordList<T>>();
    LockScope lock(masterMutex);
    global = std::move(fresh);
}

// Under the master lock, a private copy of a shared record (every member, the base's included),
// for a caller that changes it, sends it and merges the answer back with copyUpdate.
template <class T>
std::shared_ptr<T> MLockClone(const std::shared_ptr<T>& record) {
    LockScope lock(masterMutex);
    return record ? std::make_shared<T>(*record) : nullptr;
}

// Under the master lock, a new list holding the same record pointers.
template <class T>
RecordListPtr<T> MLockClone(const RecordListPtr<T>& list) {
    LockScope lock(masterMutex);
    return list ? std::make_shared<RecordList<T>>(*list) : nullptr;
}

// A record that a sweep drops: neither marked by the sweep nor holding an unsent change.
template <class T>
bool isUnmarked(const std::shared_ptr<T>& record) {
    return !record->remoteDirty && !record->marked;
}

// Erases the unmarked records in one stable pass; the caller holds the master lock.
template <class T>
void removeUnmarked(RecordList<T>& list) {
    list.erase(std::remove_if(list.begin(), list.end(), [](const std::shared_ptr<T>& r) { return isUnmarked(r); }),
               list.end());
}

} // namespace VxMeta
