#include "vxmeta/foundation/comm_log_entry.h"

#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

std::recursive_mutex commLogMutex;
CommLogEntry lastCommLogEntry;

void CommLogEntry::setLast(const CommLogEntry& entry) {
    LockScope scope(commLogMutex);
    lastCommLogEntry = entry;
}

CommLogEntry CommLogEntry::getLast() {
    LockScope scope(commLogMutex);
    return lastCommLogEntry;
}

} // namespace VxMeta
