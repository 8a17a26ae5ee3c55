// Internal to the persisted store (and its benchmark): the restore's checked part, without what
// follows it (the application-data tidying, the settings the records hold, the reconciliation pass).
#pragma once

#include "vxmeta/sync/persisted_store.h"

namespace VxMeta {

// Clears the dataset (or starts the library), reads the manifest and checks and restores every pair.
// A pair or manifest that does not pass its check clears all metadata and throws
// VXMECAT_INVALID_METADATA; a record reader's failure on a checked pair passes on, clearing nothing. The caller holds the sync lock,
// then the master lock.
void restoreCheckedPairs(const SerialList& list);

} // namespace VxMeta
