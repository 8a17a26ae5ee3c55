#include "vxmeta/records/identity_lookup.h"

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"

namespace VxMeta {

namespace {

// The public key of the directory record for urn: from the dataset's directory list and, when
// mayAskService, through userLookupUrn. The directory records join the library with their class;
// until then no other identity is known.
std::string directoryKey(const std::string&, bool) { return std::string(); }

} // namespace

std::shared_ptr<XPID> userLookupUrn(const std::string&) {
    // The local lists only, which hold no directory records yet.
    return nullptr;
}

std::string pubkeyLookupUrn(const std::string& urn) {
    LockScope lock(masterMutex);
    if (myPID && urn == myPID->urn) return myPID->pubkey;
    // A caller that holds the master lock itself must not wait on the service.
    const bool mayAskService = masterLockDepth() == 1;
    lock.unlock();
    return directoryKey(urn, mayAskService);
}

} // namespace VxMeta
