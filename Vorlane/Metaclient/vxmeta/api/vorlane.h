// Vorlane: the API object hosts use. Every operation of RawVorlane that may talk to the service runs
// here inside the failover loop: an attempt whose server is down, or that must go to the cluster's
// master, is run again from its first step on another server (at most known servers + 2 attempts).
// The cluster accessors and the request passthroughs GET and POST are not wrapped.
#pragma once

#include "vxmeta/api/raw_vorlane.h"

namespace VxMeta {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class Vorlane final : public RawVorlane {
public:
    Vorlane() = default;

    int64_t getUserETag() override;
    // sync(false).
    void sync();

    // Not wrapped: the cluster evaluator's tag, data center and servers (full URLs, in its order).
    std::string getClusterCtag();
    std::string getClusterDataCenter();
    void setClusterDataCenter(const std::string& dataCenter);
    std::vector<std::string> getClusterServers();

    // --- configuration and persisted state
    void setAppInfo(const std::string& appName, const std::string& appVersion, const std::set<std::string>& capabilities);
    void setDeviceInfo(const std::string& guid, const std::string& name, const std::string& platform, const std::string& platformVersion, const std::string& platformSubtype);
    void setScopesAndKnownFeatures(const std::set<std::string>& scopes, const std::set<std::string>& knownFeatures);
    void setLogLevel(int level);
    void enableLockerSupport();
    int32_t getLockerTag();
    std::string getLockerJSON();
    void setPrefix(const std::string& prefix);
    std::string getPrefix();
    SerialListPtr serializeAll(bool changedOnly);
    void restoreAll(SerialList pairs);
    void changesWereNotSaved();

    // --- accounts
    void createAccount(const std::string& email, const std::string& name, const std::string& password);
    void login(const std::string& email, const std::string& password, bool mfa);
    void logout();
    bool isLoggedIn();
    bool isRegistered();
    bool isManagedAccount();
    bool shouldPersistCredentials();
    bool isAuthenticated();
    void changePassword(const std::string& oldPassword, const std::string& newPassword, bool mfa);
    void changeEmail(const std::string& email, bool mfa);
    void changeName(const std::string& name, bool mfa);
    void requestEmailVerification();
    bool canRecoveryBePerformed();
    void requestRecoveryEmail(const std::string& email);
    std::string recoverPassword(const std::string& recoveryToken, bool mfa, const std::string& recoveryCipher);
    int64_t getUserId();
    std::string getUserURN();
    std::string getUserEmail();
    std::string getUserName();
    MfaPolicy getMfaPolicy();
    std::vector<std::shared_ptr<MFAPair>> getMfaPairs();
    bool createMfaCertPair(const std::string& associationValue, const std::string& secret);
    void setMfaVerificationCallback(MfaVerificationCallback::Function callback);

    // --- managed, implicit and migrated accounts, servers and satellite policy
    bool checkImplicitAccount();
    void loginImplicitAccount(bool mfa);
    std::string getPassword();
    bool canUseUnmanagedAccount();
    bool checkManagedAccount(const std::string& email);
    std::string encryptAccountPassword(const std::string& password);
    void loginManagedAccount(const std::string& email, const std::string& password, bool mfa);
    void loginManagedAccountEncPass(const std::string& email, const std::string& encryptedPassword, bool mfa);
    void switchToCentral(const std::string& prefix);
    bool switchToDomain(const std::string& domainOrEmail);
    bool isSatellite();
    void migrate(const std::string& email, const std::string& password, const std::string& accountPassword, bool mfa);
    RecordListPtr<TeamData> getSatellitePolicy();
    RecordListPtr<TeamData> getSatellitePolicyForUser();
    bool isDeviceAllowed();
    bool isAccountAllowed();
    std::string getAuthorizedServer(const std::string& domainOrEmail);

    // --- managed keys and reports
    std::shared_ptr<Asset> getAsset(const std::string& urn, bool localOnly, bool askOnNoRight);
    std::shared_ptr<Asset> createAsset(const std::string& name, const std::string& objectKind, const std::string& objectCookie);
    std::shared_ptr<Asset> createAsset(const std::string& name, const std::string& objectKind);
    void deleteAsset(const std::string& urn);
    void changeAssetName(const std::string& urn, const std::string& name);
    RecordListPtr<XPID> getAssetParticipants(const std::string& urn);
    void updateAssetAccess(const std::string& urn, const std::vector<std::string>& emails, bool flag);
    void setAssetAccess(const std::string& urn, const std::vector<std::string>& emails);
    std::shared_ptr<ApplicationStatus> registerApplicationStatus(const std::string& kind, const std::string& version, const std::string& refurn);
    std::shared_ptr<Deployment> getMyDeployment();
    std::string getArchiveDecryptionPassword(const std::string& json, bool flag);
    EncryptionInfo getArchiveEncryptionPassword(const std::string& keyUrn);
    EncryptionInfo getArchiveEncryptionPassword(const std::string& keyUrn, const std::string& password);
    EncryptionInfo getArchiveEncryptionPassword(SingleAssetManager& manager);
    EncryptionInfo getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey);
    EncryptionInfo getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey, const std::string& password);
    bool isContingencyGroupActive();
    bool canCreateKey(const std::string& keyKind);
    RecordListPtr<Notification> getNotifications();
    void respondToNotification(const std::string& urn, const std::string& answer);
    void saveAppData(const std::string& name, const std::string& value, bool perDevice);
    void removeAppData(const std::string& name);
    std::string getAppData(const std::string& name);
    RecordListPtr<XPID> getXPIDs();
    RecordListPtr<XPID> lookupUsers(std::vector<std::string> emails);
    std::map<std::string, std::vector<std::shared_ptr<XPID>>> lookupEmailRecipientKeys(const std::unordered_set<std::string>& emails, bool flag);
    std::string getClientPolicy();
    bool isInATeam();
    void setTeam(const std::string& teamUrn, bool join);
    std::string getTeamStatus();
    bool teamHasTeamKey();
    void sync(bool full);
    std::vector<VxMetaException> getSyncProblems();
    void askForAsset(const std::string& json);
    RecordListPtr<Asset> getMyFilteredAssets(bool flag);
    void log(int level, const std::string& text);
    bool isOfflineAccessExpired();
    void incrementStat(const std::string& kind, const std::string& qualifier, int64_t amount);
    void setStat(const std::string& kind, const std::string& qualifier, int64_t amount);
    bool sendAuditLogEntries(const std::vector<std::string>& lines, size_t maxBytes, uint32_t maxEntries);
    bool sendAuditLogChunks(const std::vector<Json::Value>& chunks);
    bool processAuditLogEntries(const std::vector<std::string>& lines, std::vector<Json::Value>& chunks, size_t maxBytes, uint32_t maxEntries);
};
#pragma GCC diagnostic pop

} // namespace VxMeta
