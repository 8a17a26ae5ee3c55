#include "vxmeta/sync/state_processor.h"

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"

namespace VxMeta {

StateProcessor::StateProcessor(RecordListPtr<Asset>& assetList, RecordListPtr<AssetRight>& rightList,
                               RecordListPtr<AssetKey>& keyList, RecordListPtr<AssetFeature>& featureList)
    : assets(assetList), rights(rightList), features(featureList), keys(keyList) {
    LockScope lock(masterMutex);
    if (myPID) {
        ownerUrn = myPID->urn;
        ownerId = myPID->id;
    }
}

void StateProcessor::runMaster() { run(true); }

void StateProcessor::run(bool /*fullPass*/) {
    LockScope lock(masterMutex);
    if (myPID) forwardingUrn = myPID->forwarding_urn;
}

} // namespace VxMeta
