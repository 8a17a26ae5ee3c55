// What the records call of the access checks (access/): the account's expected change counter,
// the synchronization problems, the remote-disabled check and the logged-in check. Declared here,
// below the area that defines them.
#pragma once

#include "vxmeta/foundation/exception.h"

namespace VxMeta {

// Under the master lock, raises the user record's expected change counter by one.
void incrementEtag();
// Keeps a copy of a problem of the synchronization (at most 100 are kept).
void addSyncProblem(const VxMetaException& problem);
// Asks the account's central server whether the account was disabled, when that is due.
void checkRemoteDisabled();
// Fails with "Must be logged in" unless a user is logged in.
void mustBeLoggedIn();

} // namespace VxMeta
