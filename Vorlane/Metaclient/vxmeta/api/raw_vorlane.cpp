#include "vxmeta/api/raw_vorlane.h"

#include <mutex>

#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/sync/persisted_store.h"

namespace VxMeta {

RawVorlane::RawVorlane() { init(); }

std::string RawVorlane::getPrefix() {
    LockScope lock(masterMutex);
    return getMyClusterEvaluator()->getPrefix()->baseUrl;
}

std::vector<VxMetaException> RawVorlane::getSyncProblems() {
    LockScope lock(syncMutex);
    std::lock_guard<std::mutex> guard(syncProblemsMutex);
    std::vector<VxMetaException> problems;
    problems.swap(syncProblems);
    return problems;
}

void RawVorlane::changesWereNotSaved() { VxMeta::changesWereNotSaved(); }

} // namespace VxMeta
