// RawVorlane: the public API object of the client library. Constructing it starts the library.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include <json/value.h>

#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/records/vx_metadata.h"
#include "vxmeta/sync/persisted_store.h"

namespace VxMeta {

class ApplicationStatus;
class Asset;
class AssetKey;
class Deployment;
class Device;
class MFAPair;
class Notification;
class SingleAssetManager;
class TeamData;
class XPID;
template <class T>
class URNMap;

// Not a base class for deletion: the one API object lives as long as the process, and the class has
// no virtual destructor. Its one virtual operation is getUserETag.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class RawVorlane {
public:
    // An archive password and the archive key metadata to keep with the archive.
    struct EncryptionInfo {
        std::string password;
        std::string json;
    };

    // The device record that an account creation sends, and the recovery data that goes with it.
    class Helper {
    public:
        explicit Helper(RawVorlane& api);
        // A new device record of this installation (given identifier or a new one, given name,
        // platform and application), with a new recovery code; keeps the password's recovery cipher
        // under that code.
        Device& createDevice(const std::string& password);
        // Under the master lock: the dataset's device keeps the recovery cipher, locally dirty.
        void postCreateDevice();

        // A notice for the URN in the list being built (api.notices): the previous list's notice of
        // that URN is appended again unchanged and null is answered; otherwise a new notice with the
        // next id is appended and answered for the caller to fill in. Under the master lock.
        static std::shared_ptr<Notification> newNotice(RawVorlane& api, const URNMap<Notification>& previous,
                                                       const std::string& urn);
        // "%s (%s)" of the identity's name and e-mail address.
        static std::string label(const XPID& identity);

        RawVorlane& api;
        std::string recoveryCipher;
        std::shared_ptr<Device> newDevice;
    };

    // Empty identity, no notices; starts the library (init).
    RawVorlane();

    // --- configuration and persisted state (raw_vorlane.cpp) -----------------------------------
    // Under the sync and master locks: this application's name, version and capabilities (the set
    // replaced whole).
    void setAppInfo(const std::string& appName, const std::string& appVersion,
                    const std::set<std::string>& capabilities);
    // The device identity the host gives: the identifier must begin with the platform's first three
    // characters in upper case. Under the sync and master locks; nothing is sent.
    void setDeviceInfo(const std::string& guid, const std::string& name, const std::string& platform,
                       const std::string& platformVersion, const std::string& platformSubtype);
    // Under the sync and master locks: the protocol scopes and the known features (each set replaced).
    void setScopesAndKnownFeatures(const std::set<std::string>& scopes, const std::set<std::string>& knownFeatures);
    // Under the master lock: the library's log level.
    void setLogLevel(int level);
    // Switches the state record's locker support on once (locally dirty when it changed).
    void enableLockerSupport();
    int32_t getLockerTag();
    std::string getLockerJSON();
    // The server at the prefix from now on, with an empty service key.
    void setPrefix(const std::string& prefix);
    // Under the master lock: the base URL of the server the cluster evaluator selects now.
    std::string getPrefix();
    // The persisted pairs of the dataset (only the changed ones with changedOnly).
    SerialListPtr serializeAll(bool changedOnly);
    // Rebuilds the dataset from the pairs; any fault empties it (VXMECAT_INVALID_METADATA).
    void restoreAll(SerialList pairs);
    // The host could not keep the pairs of the last changes-only save: the next changes-only save
    // hands them out again (the persisted store's changesWereNotSaved).
    void changesWereNotSaved();

    // One GET or POST of an API path with the server's access token; the reply body.
    std::string GET(const std::string& path);
    std::string POST(const std::string& path, const std::string& body);

    // --- accounts (account_creation.cpp, account_queries.cpp) ----------------------------------
    // Under the sync and master locks: a new account on the key server of the address, with new
    // keys, registered together with this device. Any failure after the dataset was emptied empties
    // it again, so a failed creation never leaves a signed-in look.
    void createAccount(const std::string& email, const std::string& name, const std::string& password);
    // The library's logout: private keys and access tokens dropped; the dataset stays.
    void logout();
    bool isLoggedIn();
    bool isManagedAccount();
    bool shouldPersistCredentials();
    // The user's e-mail address is verified.
    bool isAuthenticated();

    // --- account changes and recovery (account_changes.cpp, password_recovery.cpp) -------------
    // Under the sync lock: new login material and a new recovery code for the new password; the
    // request runs without the master lock.
    void changePassword(const std::string& oldPassword, const std::string& newPassword, bool mfa);
    // Under the sync lock: the PID with the new address (name) sent, then merged.
    void changeEmail(const std::string& email, bool mfa);
    void changeName(const std::string& name, bool mfa);
    // Under the sync lock: the user record sent with "email_pending".
    void requestEmailVerification();
    // Under the master lock: this device holds what a recovery needs, for an unmanaged account.
    bool canRecoveryBePerformed();
    // Under the sync lock: asks the service to send the recovery message (to the PID's address when
    // the text is empty).
    void requestRecoveryEmail(const std::string& email);
    // The password kept under the recovery code the service hands out for the token.
    std::string recoverPassword(const std::string& recoveryToken, bool mfa, const std::string& recoveryCipher);
    int64_t getUserId();
    std::string getUserURN();
    std::string getUserEmail();
    std::string getUserName();
    // Under the master lock: the user record's etag.
    virtual int64_t getUserETag();
    // Under the master lock: the MFA policy in force, checked.
    MfaPolicy getMfaPolicy();
    std::vector<std::shared_ptr<MFAPair>> getMfaPairs();
    bool createMfaCertPair(const std::string& associationValue, const std::string& secret);
    void setMfaVerificationCallback(MfaVerificationCallback::Function callback);

    // --- sign-in (account_sign_in.cpp, device_registration.cpp, password_recovery.cpp) ----------
    // Under the sync lock: the sign-in, then the device and application mapping, then the renewal
    // of the password-recovery data when the sign-in asked for it.
    void login(const std::string& email, const std::string& password, bool mfa);
    // Binds this device to its Device record on the service.
    void autoMapDevice();
    // Binds or creates this application's App record on this device.
    void autoMapApp();
    // Renews the device's password-recovery data for the password.
    void updatePasswordRecovery(const std::string& password);

    // --- managed and implicit accounts (managed_accounts.cpp) ----------------------------------
    // Whether the service manages the address's account (its login parameters, which may switch
    // the server).
    bool checkManagedAccount(const std::string& email);
    // Under the sync and master locks: the directory password in the master form for the service's
    // public key.
    std::string encryptAccountPassword(const std::string& password);
    // The managed sign-in with the directory password, wrapped for the key of the server that serves
    // the address.
    void loginManagedAccount(const std::string& email, const std::string& password, bool mfa);
    // The managed sign-in with a wrapped directory password: the service hands out the account's
    // password under a one-time key, and the sign-in proceeds with it. A refusal other than a
    // communication failure forgets the kept managed password; a communication failure keeps it.
    void loginManagedAccountEncPass(const std::string& email, const std::string& encryptedPassword, bool mfa);
    // On a device without a registered account, whether the service lets unmanaged accounts sign in;
    // true on a registered device (nothing asked).
    bool canUseUnmanagedAccount();
    // Under the sync lock: whether the service knows the operating-system user (a credentials
    // refusal is false); its address fills an empty PID address.
    bool checkImplicitAccount();
    // The sign-in of the operating-system user: the service hands out the account's password under
    // a one-time key. Fails with VXMECAT_NOT_MANAGED when it hands out none.
    void loginImplicitAccount(bool mfa);

    // --- satellite policy (satellite_policy_api.cpp) --------------------------------------------
    // The team data of the user's team: from the dataset while a user is logged in, else from the
    // service, merged into the dataset first. Views (copies of the shown members).
    RecordListPtr<TeamData> getSatellitePolicyForUser();
    // On a registered device getSatellitePolicyForUser, else the service's policy for no account.
    RecordListPtr<TeamData> getSatellitePolicy();

    // --- migration and server switches (migration.cpp, server_switches.cpp) --------------------
    // Moves the account to the server its login parameters name, then empties the library (the user
    // signs in again there). A failure after the account was produced returns the client to the
    // server it started from, with that server's public key, and is rethrown.
    void migrate(const std::string& email, const std::string& password, const std::string& accountPassword,
                 bool mfa);
    // Under the sync and master locks: the server at the prefix with the built-in service key.
    void switchToCentral(const std::string& prefix);
    // Under the sync lock: the server authorized for the domain or address; whether it is a
    // satellite.
    bool switchToDomain(const std::string& domainOrEmail);
    // Whether the service in use has a key other than the built-in one.
    bool isSatellite();
    // Under the master lock: the device record's "allow_access".
    bool isDeviceAllowed();
    // Under the master lock: false without a user owner, else the user record's "allow_access".
    bool isAccountAllowed();
    // The reply text of the authorized-server look-up for the domain or address.
    std::string getAuthorizedServer(const std::string& domainOrEmail);
    // The password the credentials hold (after a managed or implicit sign-in: the account's).
    std::string getPassword();
    // Whether the service has numbered the PID.
    bool isRegistered();

    // --- managed keys (managed_keys.cpp, key_owner_operations.cpp), application status and
    // deployment (raw_vorlane.cpp) ---------------------------------------------------------------
    std::shared_ptr<Asset> getAsset(const std::string& urn, bool localOnly, bool askOnNoRight);
    std::shared_ptr<Asset> createAsset(const std::string& name, const std::string& objectKind,
                                       const std::string& objectCookie);
    std::shared_ptr<Asset> createAsset(const std::string& name, const std::string& objectKind);
    void deleteAsset(const std::string& urn);
    void changeAssetName(const std::string& urn, const std::string& name);
    RecordListPtr<XPID> getAssetParticipants(const std::string& urn);
    void updateAssetAccess(const std::string& urn, const std::vector<std::string>& emails, bool flag);
    void setAssetAccess(const std::string& urn, const std::vector<std::string>& emails);
    std::shared_ptr<ApplicationStatus> registerApplicationStatus(const std::string& kind, const std::string& version,
                                                                 const std::string& refurn);
    std::shared_ptr<Deployment> getMyDeployment();

    // (archive_passwords.cpp) The archive password of archive key metadata: the asset form through
    // the key's revision (loaded from the dataset or the service; a refusal with status 403 takes the
    // contingency road or files an access request), the contingency form through the user's
    // contingency master key of the team. The flag is handed to the key loading.
    std::string getArchiveDecryptionPassword(const std::string& json, bool flag);
    // An archive password and its metadata: for the current encryption key of the key a reference
    // names (a generated session key; with a password, that password NUL-padded to 32 bytes and
    // "V7-" in the metadata), for a manager's current key, for one key revision; an empty key URN
    // with a password gives the contingency form. No usable revision: both texts empty.
    EncryptionInfo getArchiveEncryptionPassword(const std::string& keyUrn);
    EncryptionInfo getArchiveEncryptionPassword(const std::string& keyUrn, const std::string& password);
    EncryptionInfo getArchiveEncryptionPassword(SingleAssetManager& manager);
    EncryptionInfo getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey);
    EncryptionInfo getArchiveEncryptionPassword(std::shared_ptr<AssetKey> assetKey, const std::string& password);
    // Under the master lock: the password (a generated session key when empty) and, when the user's
    // team has a contingency group public key, the contingency form of the metadata (else no json).
    EncryptionInfo applyContingencyKeyIfNeeded(const std::string& password);
    // The user's team has a contingency group public key.
    bool isContingencyGroupActive();
    // False for "community" and "groupMaster"; otherwise bit 0 of the policy's "skey_flag".
    bool canCreateKey(const std::string& keyKind);

    // --- notifications (notifications.cpp) -----------------------------------------------------
    // Under the master lock: the user's notices, rebuilt from the dataset and the library state; a
    // notice whose cause is still there keeps its record (text and id). Requesters of access
    // requests are looked up before the lock is taken.
    RecordListPtr<Notification> getNotifications();
    // Under the sync lock: carries out the answer to the notice with that URN and removes the
    // notice; nothing for an unknown URN. A failed answer keeps the notice.
    void respondToNotification(const std::string& urn, const std::string& answer);

    // --- application data (application_data.cpp) ----------------------------------------------
    // Under the sync lock: creates or changes this application's datum of that name and uploads it
    // (the master lock released for the upload).
    void saveAppData(const std::string& name, const std::string& value, bool perDevice);
    // Under the sync lock: deletes this application's datum of that name on the service and from
    // the dataset (the request runs without the master lock); nothing when there is none.
    void removeAppData(const std::string& name);
    // Under the master lock: the datum's value, or the empty text.
    std::string getAppData(const std::string& name);

    // --- directory look-ups (directory_lookups.cpp) --------------------------------------------
    // Views of the dataset's identities.
    RecordListPtr<XPID> getXPIDs();
    // The directory's identities for the addresses, searched in batches of at most 1024 characters
    // of joined addresses; each identity (by id) once.
    RecordListPtr<XPID> lookupUsers(std::vector<std::string> emails);
    // Under the sync lock: the verified identities of each address, from the dataset where it holds
    // them, else (unless cachedOnly) from the service in batches, its reply and every identity
    // checked; the new identities join the dataset. No request runs with the master lock held.
    std::map<std::string, std::vector<std::shared_ptr<XPID>>>
    lookupEmailRecipientKeys(const std::unordered_set<std::string>& emails, bool cachedOnly);

    // --- team, client policy and synchronization (team_and_policy.cpp, raw_vorlane.cpp) --------
    // Under the master lock: the value of the first "ClientPolicy" team datum, or the empty text.
    std::string getClientPolicy();
    // Under the master lock: the current membership is accepted on both sides.
    bool isInATeam();
    // Joins ("allow") or declines ("deny") the team (setCA).
    void setTeam(const std::string& teamUrn, bool join);
    // Under the master lock: the current membership's team URN with " (Pending)" or " (Denied)" for
    // the team's answer; the empty text without a membership.
    std::string getTeamStatus();
    // Under the master lock: the user's team has a team group.
    bool teamHasTeamKey();
    void sync(bool full);
    // Under the sync lock: the synchronization problems kept so far, which are then forgotten.
    std::vector<VxMetaException> getSyncProblems();
    // Files an access request for the key of the archive key metadata or key reference when due.
    void askForAsset(const std::string& json);
    // Under the master lock: views of the managed keys usable for encryption; the flag changes nothing.
    RecordListPtr<Asset> getMyFilteredAssets(bool flag);
    void log(int level, const std::string& text);
    bool isOfflineAccessExpired();

    // --- reports (statistics_api.cpp, audit_log.cpp) ---------------------------------------------
    // Adds the amount to today's counter of the kind and qualifier.
    void incrementStat(const std::string& kind, const std::string& qualifier, int64_t amount);
    // Sets today's counter of the kind and qualifier to the amount.
    void setStat(const std::string& kind, const std::string& qualifier, int64_t amount);
    // Builds the audit events of the lines into chunks (at most maxBytes of rendering and maxEntries
    // step events each; maxEntries at least 5) and posts them. True when no chunk resulted or every
    // chunk was posted; false when auditing is off or processing or a post failed.
    bool sendAuditLogEntries(const std::vector<std::string>& lines, size_t maxBytes, uint32_t maxEntries);
    // Posts each chunk in order; false at the first failure (later chunks are not posted).
    bool sendAuditLogChunks(const std::vector<Json::Value>& chunks);
    // Appends the chunk documents of the lines to chunks; false when auditing is off (no user logged
    // in to a satellite server with auditing enabled) or processing failed.
    bool processAuditLogEntries(const std::vector<std::string>& lines, std::vector<Json::Value>& chunks,
                                size_t maxBytes, uint32_t maxEntries);

protected:
    // The same, each chunk's post under the failover rule of its own when eachChunkFailsOver is set
    // (the failover wrapper's road: a chunk the service accepted is never sent again).
    bool sendAuditLogEntries(const std::vector<std::string>& lines, size_t maxBytes, uint32_t maxEntries,
                             bool eachChunkFailsOver);
    bool sendAuditLogChunks(const std::vector<Json::Value>& chunks, bool eachChunkFailsOver);

public:
    std::string givenDeviceName;
    std::string givenDeviceGuid;
    uint64_t noticeSerial = 0;
    RecordListPtr<Notification> notices;
};
#pragma GCC diagnostic pop

} // namespace VxMeta
