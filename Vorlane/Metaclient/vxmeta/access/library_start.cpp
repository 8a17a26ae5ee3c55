#include "vxmeta/access/library_start.h"

#include <atomic>

#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/random_source.h"

namespace VxMeta {

namespace {

// Set once every step of the start has run, so that later calls return without the lock.
std::atomic<bool> startComplete{false};

} // namespace

std::string getVersion() { return std::string("Built ") + __DATE__ + " at " + __TIME__; }

void init() {
    if (startComplete.load(std::memory_order_acquire)) return;
    LockScope master(masterMutex);
    // didInit is set before the work, so that a call made by the start itself on this thread returns.
    if (didInit.load(std::memory_order_relaxed)) return;
    didInit.store(true, std::memory_order_relaxed);
    try {
        VXLOG(4, "VxMeta Initializing - %s", getVersion().c_str());
        seedRandomSource();
        VXLOG(4, "VxMeta initialized");
        setMdsPubkey(cmdsPubkey);
        mdClearAll(false);
        connectMfaModel();
        if (compatibilities.empty()) compatibilities = {"", "Mandatory", "ReadOnly", "Optional", "Suggested"};
    } catch (...) {
        // A start that failed part way is not a start: the next call runs it again.
        didInit.store(false, std::memory_order_relaxed);
        throw;
    }
    startComplete.store(true, std::memory_order_release);
}

} // namespace VxMeta
