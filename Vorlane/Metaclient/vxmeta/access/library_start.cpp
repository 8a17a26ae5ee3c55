#include "vxmeta/access/library_start.h"

#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/random_source.h"

namespace VxMeta {

std::string getVersion() { return std::string("Built ") + __DATE__ + " at " + __TIME__; }

void init() {
    if (didInit.load(std::memory_order_acquire)) return;
    LockScope master(masterMutex);
    if (didInit.load(std::memory_order_relaxed)) return;
    VXLOG(4, "VxMeta Initializing - %s", getVersion().c_str());
    seedRandomSource();
    VXLOG(4, "VxMeta initialized");
    if (compatibilities.empty()) compatibilities = {"", "Mandatory", "ReadOnly", "Optional", "Suggested"};
    // Set last: a caller that finds it set without the lock sees everything above done.
    didInit.store(true, std::memory_order_release);
}

} // namespace VxMeta
