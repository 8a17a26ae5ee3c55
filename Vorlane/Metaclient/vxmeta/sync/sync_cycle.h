// The synchronization cycle: a signed-in user's dataset is brought up to date with the service.
// Pending single records and (for a verified user) lists are pushed, the user's etag is read, and
// when it shows foreign changes (or a full cycle was asked for) the user record is read again, data
// memos are applied, the lists are refreshed (incrementally from the last sweep, or whole with
// pruning), deployments linked, and the reconciliation pass and the signature checks run; otherwise
// only what is held is reconciled and checked. The tags of the site document and the locker
// configuration decide when those are read again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class Etag;
class XPID;

// One cycle under the sync lock; failures are thrown (pushes collect theirs as sync problems).
void sync(bool full);
// Whether the service's etag shows a change this client did not make: the expected etag is below
// it, or the service's is negative (its counter was reset) while the expected one is positive.
bool shouldSync(long serverEtag, long expectedEtag);
// Reads the user's Etag record (by the PID's id) and refreshes the cluster information when its tag
// moved. A failed cluster refresh reads the etag again, at most (known servers + 2) times; then the
// last failure is thrown as a communication error. A failed etag read runs the remote-disabled check
// and passes on. False when the record was not read.
bool fetchEtagAndUpdateClusterInfo(Etag& etag);
// Pushes the lists, then finds this application's own App record among them.
void syncLists();
// The reconciliation pass over the global lists; when it changed something for a logged-in user,
// the lists are pushed (without the master lock) and the pass runs once more.
void runMasterStateProcessor();
// Refreshes the dataset lists in their fixed order; `since` empty: whole lists, pruned.
void vxmcRefreshLists(const std::string& since);
// Under the master lock, the first identity of the list with that id, or null.
std::shared_ptr<XPID> searchId(RecordList<XPID>& list, int64_t id);

} // namespace VxMeta
