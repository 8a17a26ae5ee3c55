// What logout calls of the reporting area above it (api/): the pending application statuses are
// forgotten. Declared here, defined by the reporting area.
#pragma once

namespace VxMeta {

// getMyApplicationStatusManager()->clear().
void clearApplicationStatuses();

} // namespace VxMeta
