#include "vxmeta/records/identity_lookup.h"

#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

std::shared_ptr<XPID> userLookupUrn(const std::string& urn) {
    if (urn.empty()) return nullptr;
    {
        LockScope lock(masterMutex);
        if (myXPIDs)
            for (const std::shared_ptr<XPID>& identity : *myXPIDs)
                if (identity && identity->urn == urn) return identity;
        // A caller that holds the master lock itself must not wait on the service.
        if (masterLockDepth() > 1) return nullptr;
    }
    auto fetched = std::make_shared<XPID>();
    if (!fetched->fetch(qualifySuffix("xpid", "urn", urn))) return nullptr;
    LockScope lock(masterMutex);
    if (!myXPIDs) return fetched;
    // Another look-up of the same identity may have ended while this one waited for the service.
    for (const std::shared_ptr<XPID>& identity : *myXPIDs)
        if (identity && identity->urn == urn) return identity;
    myXPIDs->push_back(fetched);
    return fetched;
}

std::string pubkeyLookupUrn(const std::string& urn) {
    {
        LockScope lock(masterMutex);
        if (myPID && urn == myPID->urn) return myPID->pubkey;
    }
    const std::shared_ptr<XPID> identity = userLookupUrn(urn);
    if (!identity) return std::string();
    LockScope lock(masterMutex);
    return identity->pubkey;
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
