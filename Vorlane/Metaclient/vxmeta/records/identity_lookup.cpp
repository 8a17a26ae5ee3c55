#include "vxmeta/records/identity_lookup.h"

#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

namespace {

// The public key of the directory record for urn. Only the dataset's directory list is read for
// now, so the answer is the same whether or not the caller may wait on the service.
std::string directoryKey(const std::string& urn, bool) {
    const std::shared_ptr<XPID> identity = userLookupUrn(urn);
    if (!identity) return std::string();
    LockScope lock(masterMutex);
    return identity->pubkey;
}

} // namespace

std::shared_ptr<XPID> userLookupUrn(const std::string& urn) {
    if (urn.empty()) return nullptr;
    LockScope lock(masterMutex);
    if (!myXPIDs) return nullptr;
    for (const std::shared_ptr<XPID>& identity : *myXPIDs)
        if (identity && identity->urn == urn) return identity;
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

std::string signerKeyOf(const std::string& urn) {
    try {
        return pubkeyLookupUrn(urn);
    } catch (const VxMetaException& e) {
        VXLOG(2, "Unable to look up the signer %s - %s", urn.c_str(), e.message.c_str());
        return std::string();
    }
}

} // namespace VxMeta
