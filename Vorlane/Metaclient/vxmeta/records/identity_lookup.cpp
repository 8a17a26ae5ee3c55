#include "vxmeta/records/identity_lookup.h"

#include "vxmeta/comm/server_authorization.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

namespace {

constexpr char forwardedPrefix[] = "email!";

// A caller that holds the master lock itself must not wait on the service.
bool callerHoldsMasterLock() { return masterLockDepth() > 0; }

// The service's answer for a forwarded address.
std::shared_ptr<XPID> lookUpForwardedAddress(const std::string& urn) {
    const std::string address = urnForwardedEmail(urn);
    if (std::shared_ptr<XPID> known = searchEmail(getMyXPIDs(), address)) return known;
    if (callerHoldsMasterLock()) return nullptr;
    VCSR executor;
    const Json::Value reply = parseJson(executor.get(qualifySuffix("aa/userOrServer", "email", address)));
    if (!reply.isObject()) return nullptr;
    if (reply["user"].isObject()) {
        auto fresh = std::make_shared<XPID>();
        fresh->fromJSONValue(reply["user"]);
        LockScope lock(masterMutex);
        fresh->remoteDirty = false;
        if (std::shared_ptr<XPID> stored = searchURN(myXPIDs, fresh->urn)) {
            stored->copyUpdate(*fresh);
            return stored;
        }
        if (myXPIDs) myXPIDs->push_back(fresh);
        return fresh;
    }
    if (reply["server"].isObject()) {
        const Json::Value& server = reply["server"];
        const std::string key = jsonText(server, "pubkey");
        checkAuthorization(key, server.get("authorization", Json::Value()), address);
        auto identity = std::make_shared<XPID>();
        identity->urn = urn;
        identity->email = address;
        identity->name = address;
        identity->pubkey = key;
        return identity;
    }
    return nullptr;
}

// The directory record of a registered identity.
std::shared_ptr<XPID> lookUpIdentity(const std::string& urn) {
    {
        LockScope lock(masterMutex);
        if (myXPIDs)
            for (const std::shared_ptr<XPID>& identity : *myXPIDs)
                if (identity && identity->urn == urn) return identity;
    }
    if (callerHoldsMasterLock()) return nullptr;
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

} // namespace

bool urnIsForwardedEmail(const std::string& urn) { return startswith(urn, forwardedPrefix); }

std::string urnForwardedEmail(const std::string& urn) {
    return urn.size() > 6 ? urn.substr(6) : std::string();
}

std::shared_ptr<XPID> userLookupUrnWorker(const std::string& urn) {
    if (urn.empty()) return nullptr;
    if (urnIsForwardedEmail(urn)) return lookUpForwardedAddress(urn);
    return lookUpIdentity(urn);
}

std::shared_ptr<XPID> userLookupEmail(const std::string& email) {
    if (std::shared_ptr<XPID> known = searchEmail(getMyXPIDs(), email)) return known;
    auto fresh = std::make_shared<XPID>();
    if (!fresh->fetch(qualifySuffix("xpid", "email", email)))
        throw VxMetaException(VXMECAT_INTERNAL, "Unable to fetch user information");
    LockScope lock(masterMutex);
    if (std::shared_ptr<XPID> stored = searchURN(myXPIDs, fresh->urn)) {
        stored->copyUpdate(*fresh);
        return stored;
    }
    if (myXPIDs) myXPIDs->push_back(fresh);
    return fresh;
}

std::shared_ptr<XPID> userLookupUrn(const std::string& urn) {
    {
        LockScope lock(masterMutex);
        if (lastUserLookup.isValid(urn)) return lastUserLookup.value;
    }
    if (callerHoldsMasterLock()) return userLookupUrnWorker(urn);
    std::shared_ptr<XPID> found = userLookupUrnWorker(urn);
    lastUserLookup.set(urn, found);
    return found;
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

std::shared_ptr<PID> findMyPID(const std::string& email) {
    init();
    if (loggedInPrivateKey().empty()) throw VxMetaException(VXMECAT_INTERNAL, "Cannot get PID without private key");
    VCSR executor;
    const int64_t id = executor.getAccessToken(0, email);
    auto fresh = std::make_shared<PID>();
    fresh->id = id;
    {
        LockScope lock(masterMutex);
        if (myPID) myPID->id = id;
    }
    if (!fresh->get()) throw VxMetaException(VXMECAT_NOTFOUND, "PID not found");
    checkPrefix(fresh->pubkey, tactic2Prefix);
    std::shared_ptr<User> user;
    {
        LockScope lock(masterMutex);
        myPID = fresh;
        user = myUser;
        if (user) {
            if (user->id != id) {
                user->expectedEtag = 0;
                user->id = id;
                user->remoteDirty = false;
            }
            user->localDirty = true;
        }
    }
    if (user) user->get();
    return fresh;
}

} // namespace VxMeta
