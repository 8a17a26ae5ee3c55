// The API object's construction, its configuration and the persisted-state operations.
#include "vxmeta/api/raw_vorlane.h"

#include <cctype>
#include <mutex>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/api/application_record.h"
#include "vxmeta/api/application_status_manager.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/sync/persisted_store.h"
#include "vxmeta/sync/sync_cycle.h"

namespace VxMeta {

RawVorlane::RawVorlane() : notices(std::make_shared<RecordList<Notification>>()) { init(); }

void RawVorlane::setAppInfo(const std::string& name, const std::string& version,
                            const std::set<std::string>& capabilities) {
    LockScope sync(syncMutex);
    LockScope lock(masterMutex);
    appName = name;
    appVersion = version;
    appCapabilities = capabilities;
}

void RawVorlane::setDeviceInfo(const std::string& guid, const std::string& name, const std::string& platform,
                               const std::string& platformVersionText, const std::string& platformSubtypeText) {
    if (guid.empty()) throw VxMetaException(VXMECAT_CLIENT, "guid cannot be empty");
    if (name.empty()) throw VxMetaException(VXMECAT_CLIENT, "name cannot be empty");
    if (platform.empty()) throw VxMetaException(VXMECAT_CLIENT, "platform cannot be empty");
    std::string prefix = platform.substr(0, 3);
    for (char& c : prefix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (guid.compare(0, prefix.size(), prefix) != 0)
        throw VxMetaException(VXMECAT_CLIENT, "You must provide a prefix on the GUID");

    LockScope sync(syncMutex);
    LockScope lock(masterMutex);
    givenDeviceName = name;
    deviceName = name;
    givenDeviceGuid = guid;
    if (terminal_name.empty()) terminal_name = name;
    platformType = platform;
    platformVersion = platformVersionText;
    platformSubtype = platformSubtypeText;
}

void RawVorlane::setScopesAndKnownFeatures(const std::set<std::string>& scopes,
                                           const std::set<std::string>& features) {
    LockScope sync(syncMutex);
    LockScope lock(masterMutex);
    setForScopes = scopes;
    knownFeatures = features;
}

void RawVorlane::setLogLevel(int level) {
    LockScope lock(masterMutex);
    vmLogLevel = level;
}

void RawVorlane::enableLockerSupport() {
    const std::shared_ptr<Persists> persists = myPersists;
    if (!persists || persists->lockerActive) return;
    persists->lockerActive = true;
    persists->localDirty = true;
}

int32_t RawVorlane::getLockerTag() { return myPersists->ltag; }

std::string RawVorlane::getLockerJSON() { return myPersists->lockerConfig; }

void RawVorlane::setPrefix(const std::string& prefix) { setMds(prefix, ""); }

std::string RawVorlane::getPrefix() {
    LockScope lock(masterMutex);
    return getMyClusterEvaluator()->getPrefix()->baseUrl;
}

SerialListPtr RawVorlane::serializeAll(bool changedOnly) { return VxMeta::serializeAll(changedOnly); }

void RawVorlane::restoreAll(SerialList pairs) { VxMeta::restoreAll(std::move(pairs)); }

void RawVorlane::changesWereNotSaved() { VxMeta::changesWereNotSaved(); }

std::string RawVorlane::GET(const std::string& path) { return VCSR().get(path); }

std::string RawVorlane::POST(const std::string& path, const std::string& body) { return VCSR().post(path, body); }

std::vector<VxMetaException> RawVorlane::getSyncProblems() {
    LockScope sync(syncMutex);
    std::lock_guard<std::mutex> guard(syncProblemsMutex);
    std::vector<VxMetaException> problems;
    problems.swap(syncProblems);
    return problems;
}

void RawVorlane::sync(bool full) { VxMeta::sync(full); }

void RawVorlane::log(int level, const std::string& text) { VXLOG(level, "%s", text.c_str()); }

bool RawVorlane::isOfflineAccessExpired() { return offlineAccessExpired(); }

std::shared_ptr<ApplicationStatus> RawVorlane::registerApplicationStatus(const std::string& kind,
                                                                         const std::string& version,
                                                                         const std::string& refurn) {
    return getMyApplicationStatusManager()->registerApplicationStatus(kind, version, refurn);
}

std::shared_ptr<Deployment> RawVorlane::getMyDeployment() {
    const std::shared_ptr<App> app = getMyApp();
    LockScope lock(masterMutex);
    return app->deployment;
}

} // namespace VxMeta
