#include "vxmeta/api/vorlane.h"

#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/url.h"

namespace VxMeta {

int64_t Vorlane::getUserETag() {
    return HighAvailability([&] { return RawVorlane::getUserETag(); });
}

void Vorlane::sync() { sync(false); }

std::string Vorlane::getClusterCtag() { return getMyClusterEvaluator()->getCtag(); }

std::string Vorlane::getClusterDataCenter() { return getMyClusterEvaluator()->getDataCenter(); }

void Vorlane::setClusterDataCenter(const std::string& dataCenter) {
    getMyClusterEvaluator()->setHomeDataCenter(dataCenter);
}

std::vector<std::string> Vorlane::getClusterServers() {
    std::vector<std::string> servers;
    for (const TarvexProtocol::UrlPtr& url : getMyClusterEvaluator()->getClusterServerUrls())
        servers.push_back(url->fullUrl);
    return servers;
}

void Vorlane::setAppInfo(const std::string& appName, const std::string& appVersion, const std::set<std::string>& capabilities) {
    return HighAvailability([&] { return RawVorlane::setAppInfo(appName, appVersion, capabilities); });
}

void Vorlane::setDeviceInfo(const std::string& guid, const std::string& name, const std::string& platform, const std::string& platformVersion, const std::string& platformSubtype) {
    return HighAvailability([&] { return RawVorlane::setDeviceInfo(guid, name, platform, platformVersion, platformSubtype); });
}

void Vorlane::setScopesAndKnownFeatures(const std::set<std::string>& scopes, const std::set<std::string>& knownFeatures) {
    return HighAvailability([&] { return RawVorlane::setScopesAndKnownFeatures(scopes, knownFeatures); });
}

void Vorlane::setLogLevel(int level) {
    return HighAvailability([&] { return RawVorlane::setLogLevel(level); });
}

void Vorlane::enableLockerSupport() {
    return HighAvailability([&] { return RawVorlane::enableLockerSupport(); });
}

int32_t Vorlane::getLockerTag() {
    return HighAvailability([&] { return RawVorlane::getLockerTag(); });
}

std::string Vorlane::getLockerJSON() {
    return HighAvailability([&] { return RawVorlane::getLockerJSON(); });
}

void Vorlane::setPrefix(const std::string& prefix) {
    return HighAvailability([&] { return RawVorlane::setPrefix(prefix); });
}

std::string Vorlane::getPrefix() {
    return HighAvailability([&] { return RawVorlane::getPrefix(); });
}

SerialListPtr Vorlane::serializeAll(bool changedOnly) {
    return HighAvailability([&] { return RawVorlane::serializeAll(changedOnly); });
}

void Vorlane::restoreAll(SerialList pairs) {
    return HighAvailability([&] { return RawVorlane::restoreAll(pairs); });
}

void Vorlane::changesWereNotSaved() {
    return HighAvailability([&] { return RawVorlane::changesWereNotSaved(); });
}

void Vorlane::createAccount(const std::string& email, const std::string& name, const std::string& password) {
    return HighAvailability([&] { return RawVorlane::createAccount(email, name, password); });
}

void Vorlane::login(const std::string& email, const std::string& password, bool mfa) {
    return HighAvailability([&] { return RawVorlane::login(email, password, mfa); });
}

void Vorlane::logout() {
    return HighAvailability([&] { return RawVorlane::logout(); });
}

bool Vorlane::isLoggedIn() {
    return HighAvailability([&] { return RawVorlane::isLoggedIn(); });
}

bool Vorlane::isRegistered() {
    return HighAvailability([&] { return RawVorlane::isRegistered(); });
}

bool Vorlane::isManagedAccount() {
    return HighAvailability([&] { return RawVorlane::isManagedAccount(); });
}

bool Vorlane::shouldPersistCredentials() {
    return HighAvailability([&] { return RawVorlane::shouldPersistCredentials(); });
}

bool Vorlane::isAuthenticated() {
    return HighAvailability([&] { return RawVorlane::isAuthenticated(); });
}

void Vorlane::changePassword(const std::string& oldPassword, const std::string& newPassword, bool mfa) {
    return HighAvailability([&] { return RawVorlane::changePassword(oldPassword, newPassword, mfa); });
}

void Vorlane::changeEmail(const std::string& email, bool mfa) {
    return HighAvailability([&] { return RawVorlane::changeEmail(email, mfa); });
}

void Vorlane::changeName(const std::string& name, bool mfa) {
    return HighAvailability([&] { return RawVorlane::changeName(name, mfa); });
}

void Vorlane::requestEmailVerification() {
    return HighAvailability([&] { return RawVorlane::requestEmailVerification(); });
}

bool Vorlane::canRecoveryBePerformed() {
    return HighAvailability([&] { return RawVorlane::canRecoveryBePerformed(); });
}

void Vorlane::requestRecoveryEmail(const std::string& email) {
    return HighAvailability([&] { return RawVorlane::requestRecoveryEmail(email); });
}

std::string Vorlane::recoverPassword(const std::string& recoveryToken, bool mfa, const std::string& recoveryCipher) {
    return HighAvailability([&] { return RawVorlane::recoverPassword(recoveryToken, mfa, recoveryCipher); });
}

int64_t Vorlane::getUserId() {
    return HighAvailability([&] { return RawVorlane::getUserId(); });
}

std::string Vorlane::getUserURN() {
    return HighAvailability([&] { return RawVorlane::getUserURN(); });
}

std::string Vorlane::getUserEmail() {
    return HighAvailability([&] { return RawVorlane::getUserEmail(); });
}

std::string Vorlane::getUserName() {
    return HighAvailability([&] { return RawVorlane::getUserName(); });
}

MfaPolicy Vorlane::getMfaPolicy() {
    return HighAvailability([&] { return RawVorlane::getMfaPolicy(); });
}

std::vector<std::shared_ptr<MFAPair>> Vorlane::getMfaPairs() {
    return HighAvailability([&] { return RawVorlane::getMfaPairs(); });
}

bool Vorlane::createMfaCertPair(const std::string& associationValue, const std::string& secret) {
    return HighAvailability([&] { return RawVorlane::createMfaCertPair(associationValue, secret); });
}

void Vorlane::setMfaVerificationCallback(MfaVerificationCallback::Function callback) {
    return HighAvailability([&] { return RawVorlane::setMfaVerificationCallback(callback); });
}

bool Vorlane::checkImplicitAccount() {
    return HighAvailability([&] { return RawVorlane::checkImplicitAccount(); });
}

void Vorlane::loginImplicitAccount(bool mfa) {
    return HighAvailability([&] { return RawVorlane::loginImplicitAccount(mfa); });
}

std::string Vorlane::getPassword() {
    return HighAvailability([&] { return RawVorlane::getPassword(); });
}

bool Vorlane::canUseUnmanagedAccount() {
    return HighAvailability([&] { return RawVorlane::canUseUnmanagedAccount(); });
}

bool Vorlane::checkManagedAccount(const std::string& email) {
    return HighAvailability([&] { return RawVorlane::checkManagedAccount(email); });
}

std::string Vorlane::encryptAccountPassword(const std::string& password) {
    return HighAvailability([&] { return RawVorlane::encryptAccountPassword(password); });
}

void Vorlane::loginManagedAccount(const std::string& email, const std::string& password, bool mfa) {
    return HighAvailability([&] { return RawVorlane::loginManagedAccount(email, password, mfa); });
}

void Vorlane::loginManagedAccountEncPass(const std::string& email, const std::string& encryptedPassword, bool mfa) {
    return HighAvailability([&] { return RawVorlane::loginManagedAccountEncPass(email, encryptedPassword, mfa); });
}

void Vorlane::switchToCentral(const std::string& prefix) {
    return HighAvailability([&] { return RawVorlane::switchToCentral(prefix); });
}

bool Vorlane::switchToDomain(const std::string& domainOrEmail) {
    return HighAvailability([&] { return RawVorlane::switchToDomain(domainOrEmail); });
}

bool Vorlane::isSatellite() {
    return HighAvailability([&] { return RawVorlane::isSatellite(); });
}

void Vorlane::migrate(const std::string& email, const std::string& password, const std::string& accountPassword, bool mfa) {
    return HighAvailability([&] { return RawVorlane::migrate(email, password, accountPassword, mfa); });
}

RecordListPtr<TeamData> Vorlane::getSatellitePolicy() {
    return HighAvailability([&] { return RawVorlane::getSatellitePolicy(); });
}

RecordListPtr<TeamData> Vorlane::getSatellitePolicyForUser() {
    return HighAvailability([&] { return RawVorlane::getSatellitePolicyForUser(); });
}

bool Vorlane::isDeviceAllowed() {
    return HighAvailability([&] { return RawVorlane::isDeviceAllowed(); });
}

bool Vorlane::isAccountAllowed() {
    return HighAvailability([&] { return RawVorlane::isAccountAllowed(); });
}

std::string Vorlane::getAuthorizedServer(const std::string& domainOrEmail) {
    return HighAvailability([&] { return RawVorlane::getAuthorizedServer(domainOrEmail); });
}

std::shared_ptr<Asset> Vorlane::getAsset(const std::string& urn, bool localOnly, bool askOnNoRight) {
    return HighAvailability([&] { return RawVorlane::getAsset(urn, localOnly, askOnNoRight); });
}

std::shared_ptr<Asset> Vorlane::createAsset(const std::string& name, const std::string& objectKind, const std::string& objectCookie) {
    return HighAvailability([&] { return RawVorlane::createAsset(name, objectKind, objectCookie); });
}

std::shared_ptr<Asset> Vorlane::createAsset(const std::string& name, const std::string& objectKind) {
    return HighAvailability([&] { return RawVorlane::createAsset(name, objectKind); });
}

void Vorlane::deleteAsset(const std::string& urn) {
    return HighAvailability([&] { return RawVorlane::deleteAsset(urn); });
}

void Vorlane::changeAssetName(const std::string& urn, const std::string& name) {
    return HighAvailability([&] { return RawVorlane::changeAssetName(urn, name); });
}

RecordListPtr<XPID> Vorlane::getAssetParticipants(const std::string& urn) {
    return HighAvailability([&] { return RawVorlane::getAssetParticipants(urn); });
}

void Vorlane::updateAssetAccess(const std::string& urn, const std::vector<std::string>& emails, bool flag) {
    return HighAvailability([&] { return RawVorlane::updateAssetAccess(urn, emails, flag); });
}

void Vorlane::setAssetAccess(const std::string& urn, const std::vector<std::string>& emails) {
    return HighAvailability([&] { return RawVorlane::setAssetAccess(urn, emails); });
}

std::shared_ptr<ApplicationStatus> Vorlane::registerApplicationStatus(const std::string& kind, const std::string& version, const std::string& refurn) {
    return HighAvailability([&] { return RawVorlane::registerApplicationStatus(kind, version, refurn); });
}

std::shared_ptr<Deployment> Vorlane::getMyDeployment() {
    return HighAvailability([&] { return RawVorlane::getMyDeployment(); });
}

std::string Vorlane::getArchiveDecryptionPassword(const std::string& json, bool flag) {
    return HighAvailability([&] { return RawVorlane::getArchiveDecryptionPassword(json, flag); });
}

RawVorlane::EncryptionInfo Vorlane::getArchiveEncryptionPassword(const std::string& keyUrn) {
    return HighAvailability([&] { return RawVorlane::getArchiveEncryptionPassword(keyUrn); });
}

RawVorlane::EncryptionInfo Vorlane::getArchiveEncryptionPassword(const std::string& keyUrn, const std::string& password) {
    return HighAvailability([&] { return RawVorlane::getArchiveEncryptionPassword(keyUrn, password); });
}

RawVorlane::EncryptionInfo Vorlane::getArchiveEncryptionPassword(SingleAssetManager& manager) {
    return HighAvailability([&] { return RawVorlane::getArchiveEncryptionPassword(manager); });
}

RawVorlane::EncryptionInfo Vorlane::getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey) {
    return HighAvailability([&] { return RawVorlane::getArchiveEncryptionPassword(assetKey); });
}

RawVorlane::EncryptionInfo Vorlane::getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey, const std::string& password) {
    return HighAvailability([&] { return RawVorlane::getArchiveEncryptionPassword(assetKey, password); });
}

bool Vorlane::isContingencyGroupActive() {
    return HighAvailability([&] { return RawVorlane::isContingencyGroupActive(); });
}

bool Vorlane::canCreateKey(const std::string& keyKind) {
    return HighAvailability([&] { return RawVorlane::canCreateKey(keyKind); });
}

RecordListPtr<Notification> Vorlane::getNotifications() {
    return HighAvailability([&] { return RawVorlane::getNotifications(); });
}

void Vorlane::respondToNotification(const std::string& urn, const std::string& answer) {
    return HighAvailability([&] { return RawVorlane::respondToNotification(urn, answer); });
}

void Vorlane::saveAppData(const std::string& name, const std::string& value, bool perDevice) {
    return HighAvailability([&] { return RawVorlane::saveAppData(name, value, perDevice); });
}

void Vorlane::removeAppData(const std::string& name) {
    return HighAvailability([&] { return RawVorlane::removeAppData(name); });
}

std::string Vorlane::getAppData(const std::string& name) {
    return HighAvailability([&] { return RawVorlane::getAppData(name); });
}

RecordListPtr<XPID> Vorlane::getXPIDs() {
    return HighAvailability([&] { return RawVorlane::getXPIDs(); });
}

RecordListPtr<XPID> Vorlane::lookupUsers(std::vector<std::string> emails) {
    return HighAvailability([&] { return RawVorlane::lookupUsers(emails); });
}

std::map<std::string, std::vector<std::shared_ptr<XPID>>> Vorlane::lookupEmailRecipientKeys(const std::unordered_set<std::string>& emails, bool flag) {
    return HighAvailability([&] { return RawVorlane::lookupEmailRecipientKeys(emails, flag); });
}

std::string Vorlane::getClientPolicy() {
    return HighAvailability([&] { return RawVorlane::getClientPolicy(); });
}

bool Vorlane::isInATeam() {
    return HighAvailability([&] { return RawVorlane::isInATeam(); });
}

void Vorlane::setTeam(const std::string& teamUrn, bool join) {
    return HighAvailability([&] { return RawVorlane::setTeam(teamUrn, join); });
}

std::string Vorlane::getTeamStatus() {
    return HighAvailability([&] { return RawVorlane::getTeamStatus(); });
}

bool Vorlane::teamHasTeamKey() {
    return HighAvailability([&] { return RawVorlane::teamHasTeamKey(); });
}

void Vorlane::sync(bool full) {
    return HighAvailability([&] { return RawVorlane::sync(full); });
}

std::vector<VxMetaException> Vorlane::getSyncProblems() {
    return HighAvailability([&] { return RawVorlane::getSyncProblems(); });
}

void Vorlane::askForAsset(const std::string& json) {
    return HighAvailability([&] { return RawVorlane::askForAsset(json); });
}

RecordListPtr<Asset> Vorlane::getMyFilteredAssets(bool flag) {
    return HighAvailability([&] { return RawVorlane::getMyFilteredAssets(flag); });
}

void Vorlane::log(int level, const std::string& text) {
    return HighAvailability([&] { return RawVorlane::log(level, text); });
}

bool Vorlane::isOfflineAccessExpired() {
    return HighAvailability([&] { return RawVorlane::isOfflineAccessExpired(); });
}

void Vorlane::incrementStat(const std::string& kind, const std::string& qualifier, int64_t amount) {
    return HighAvailability([&] { return RawVorlane::incrementStat(kind, qualifier, amount); });
}

void Vorlane::setStat(const std::string& kind, const std::string& qualifier, int64_t amount) {
    return HighAvailability([&] { return RawVorlane::setStat(kind, qualifier, amount); });
}

// Only the processing runs again after a failover (it posts nothing); each chunk's post fails over
// on its own, so a chunk the service accepted is never sent twice.
bool Vorlane::sendAuditLogEntries(const std::vector<std::string>& lines, size_t maxBytes, uint32_t maxEntries) {
    return HighAvailability([&] { return RawVorlane::sendAuditLogEntries(lines, maxBytes, maxEntries, true); });
}

bool Vorlane::sendAuditLogChunks(const std::vector<Json::Value>& chunks) {
    return RawVorlane::sendAuditLogChunks(chunks, true);
}

bool Vorlane::processAuditLogEntries(const std::vector<std::string>& lines, std::vector<Json::Value>& chunks, size_t maxBytes, uint32_t maxEntries) {
    return HighAvailability([&] { return RawVorlane::processAuditLogEntries(lines, chunks, maxBytes, maxEntries); });
}

} // namespace VxMeta
