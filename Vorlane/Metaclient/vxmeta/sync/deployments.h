// The deployments of the user's applications: each App names its Deployment by id; the
// synchronization links every App to its record, fetches the ones no held record carries and drops
// the records no App refers to any more.
#pragma once

#include "vxmeta/records/deployment.h"

namespace VxMeta {

// Clears the sweep mark of every record; the caller holds the master lock.
void clearMarks(RecordList<Deployment>& list);
// Under the sync lock, then the master lock (released around each fetch): links, fetches, prunes.
// A deployment that cannot be fetched is one synchronization problem per App that names it.
void fetchDeployments();

} // namespace VxMeta
