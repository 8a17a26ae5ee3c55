// Whose key signed a record: the identity behind a URN and its public key. The user's own URN is
// answered from the own identity record (myPID), any other from the directory records (XPID), the
// service's directory ("xpid?urn=") or, for a forwarded address ("email!" and the address of someone
// without an account), the service's answer for the address ("aa/userOrServer?email="). Answers are
// kept for 2 seconds (lastUserLookup), null answers included. Also the user's own PID by e-mail.
#pragma once

#include <memory>
#include <string>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class PID;
class XPID;

// Whether the URN names a forwarded address ("email!" and the address).
bool urnIsForwardedEmail(const std::string& urn);
// The address of a forwarded-address URN: the text after its first six characters.
std::string urnForwardedEmail(const std::string& urn);

// Under the master lock: the first record of the list whose "email" equals the address in any letter
// case, or null.
template <class T>
std::shared_ptr<T> searchEmail(const RecordListPtr<T>& list, const std::string& email) {
    LockScope lock(masterMutex);
    if (list)
        for (const std::shared_ptr<T>& record : *list)
            if (record && eq(record->email, email)) return record;
    return nullptr;
}

// Under the master lock: the first record of the list whose URN equals urn exactly, or null.
template <class T>
std::shared_ptr<T> searchURN(const RecordListPtr<T>& list, const std::string& urn) {
    LockScope lock(masterMutex);
    if (list)
        for (const std::shared_ptr<T>& record : *list)
            if (record && record->geturn() == urn) return record;
    return nullptr;
}

// The identity named by urn, or null; from lastUserLookup while it holds the answer for urn. A
// thread that holds the master lock gets only what the dataset holds: no request is sent (and
// nothing cached) under the lock. A failure of a request passes on and is not cached.
std::shared_ptr<XPID> userLookupUrn(const std::string& urn);
// userLookupUrn without the cache: empty URN null; a forwarded address from the directory records
// by e-mail, else the service's "user" answer (merged into the directory by URN) or "server" answer
// (an identity of the server's key named by the asked URN, stored nowhere), else null; any other URN
// from the directory records, else from "xpid?urn=" (joins the directory).
std::shared_ptr<XPID> userLookupUrnWorker(const std::string& urn);
// The public key of the identity named by urn: the own identity's key for the own URN (no look-up),
// else the key of userLookupUrn's record, or the empty text when none is known. A failure of the
// look-up passes on.
std::string pubkeyLookupUrn(const std::string& urn);

// The identity with that address: the first directory record whose "email" equals it in any letter
// case, else the service's ("xpid?email=", asked without the master lock), merged into the directory
// record of its URN or added to the directory. A reply that cannot be read: VXMECAT_INTERNAL "Unable
// to fetch user information"; refusals of the service pass on.
std::shared_ptr<XPID> userLookupEmail(const std::string& email);

// The user's own PID, found by e-mail on the current server: needs the decrypted private key
// (VXMECAT_INTERNAL "Cannot get PID without private key"), signs in with the address to learn the
// PID's id, fetches the PID (VXMECAT_NOTFOUND "PID not found"; its key must be a "V2" key), installs
// it as myPID and relinks and fetches myUser under that id. Makes requests: the caller must not hold
// the master lock.
std::shared_ptr<PID> findMyPID(const std::string& email);

} // namespace VxMeta
