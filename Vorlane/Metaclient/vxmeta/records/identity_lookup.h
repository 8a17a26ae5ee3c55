// Whose key signed a record: the identity behind a URN and its public key. The user's own URN is
// answered from the own identity record (myPID), any other from the directory records (XPID).
#pragma once

#include <memory>
#include <string>

namespace VxMeta {

class XPID;

// The directory record of the identity named by urn, or null when none is known: the first of the
// dataset's directory records with that URN, else the one the service answers to "xpid?urn=",
// which joins the directory list. A thread that holds the master lock gets only what the dataset
// holds: no request is sent under the lock. A failure of the request passes on.
std::shared_ptr<XPID> userLookupUrn(const std::string& urn);
// The public key of the identity named by urn: the own identity's key for the own URN, else the
// key of userLookupUrn's record, or the empty text when none is known. A failure of the look-up
// passes on.
std::string pubkeyLookupUrn(const std::string& urn);
// pubkeyLookupUrn for a signature check: a failed look-up is logged and gives the empty text, so
// that the check fails instead of throwing.
std::string signerKeyOf(const std::string& urn);

} // namespace VxMeta
