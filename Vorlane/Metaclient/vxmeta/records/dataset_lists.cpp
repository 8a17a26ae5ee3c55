#include "vxmeta/records/dataset_lists.h"

namespace VxMeta {

// Null until the library starts; only their release at unload is registered.
std::shared_ptr<Persists> myPersists;
std::shared_ptr<PID> myPID;
std::shared_ptr<SID> mySID;
std::shared_ptr<User> myUser;
std::shared_ptr<Device> myDevice;
RecordListPtr<Deployment> myDeployments;
RecordListPtr<App> myApps;
RecordListPtr<XPID> myXPIDs;
RecordListPtr<CAJoin> myCAJoins;
RecordListPtr<Asset> myAssets;
RecordListPtr<AssetRight> myRights;
RecordListPtr<AssetKey> myKeys;
RecordListPtr<AssetRequest> myRequests;
RecordListPtr<AssetFeature> myFeatures;
RecordListPtr<ContingencyGroup> myContingencyGroups;
RecordListPtr<ContingencyKey> myContingencyKeys;
RecordListPtr<ContingencyMasterKey> myContingencyMasterKeys;
RecordListPtr<AppData> myAppDatas;
RecordListPtr<TeamData> myTeamDatas;
RecordListPtr<Upload> myUploads;
RecordListPtr<MFAPair> myMFAPairs;
RecordListPtr<TeamAuthority> myTeamAuthorities;

namespace {

template <class P>
P shareUnderLock(const P& global) {
    LockScope lock(masterMutex);
    return global;
}

} // namespace

std::shared_ptr<Persists> getMyPersists() { return shareUnderLock(myPersists); }
std::shared_ptr<PID> getMyPID() { return shareUnderLock(myPID); }
std::shared_ptr<SID> getMySID() { return shareUnderLock(mySID); }
std::shared_ptr<User> getMyUser() { return shareUnderLock(myUser); }
std::shared_ptr<Device> getMyDevice() { return shareUnderLock(myDevice); }
RecordListPtr<Deployment> getMyDeployments() { return shareUnderLock(myDeployments); }
RecordListPtr<App> getMyApps() { return shareUnderLock(myApps); }
RecordListPtr<XPID> getMyXPIDs() { return shareUnderLock(myXPIDs); }
RecordListPtr<CAJoin> getMyCAJoins() { return shareUnderLock(myCAJoins); }
RecordListPtr<Asset> getMyAssets() { return shareUnderLock(myAssets); }
RecordListPtr<AssetRight> getMyRights() { return shareUnderLock(myRights); }
RecordListPtr<AssetKey> getMyKeys() { return shareUnderLock(myKeys); }
RecordListPtr<AssetRequest> getMyRequests() { return shareUnderLock(myRequests); }
RecordListPtr<AssetFeature> getMyFeatures() { return shareUnderLock(myFeatures); }
RecordListPtr<ContingencyGroup> getMyContingencyGroups() { return shareUnderLock(myContingencyGroups); }
RecordListPtr<ContingencyKey> getMyContingencyKeys() { return shareUnderLock(myContingencyKeys); }
RecordListPtr<ContingencyMasterKey> getMyContingencyMasterKeys() { return shareUnderLock(myContingencyMasterKeys); }
RecordListPtr<AppData> getMyAppDatas() { return shareUnderLock(myAppDatas); }
RecordListPtr<TeamData> getMyTeamDatas() { return shareUnderLock(myTeamDatas); }
RecordListPtr<Upload> getMyUploads() { return shareUnderLock(myUploads); }
RecordListPtr<MFAPair> getMyMFAPairs() { return shareUnderLock(myMFAPairs); }
RecordListPtr<TeamAuthority> getMyTeamAuthorities() { return shareUnderLock(myTeamAuthorities); }

} // namespace VxMeta
