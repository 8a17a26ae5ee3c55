// VorlaneFacade: the root object of the framework and the host's only way to the key-management
// service. The host creates one at start-up (held in a shared_ptr) with the API object's holder, its
// user defaults, its storage of the persisted state, its bundle and the device's identity. The facade
// connects the library to the host (application and device, protocol scope, transport, MFA hand-off,
// persisted state), owns the account, notifications, policy, key and archive-key facades and the
// translator of the persisted state, synchronizes on a repeating main-loop timer, and signs the
// device out.
//
// Its methods run on the caller's thread and call the library synchronously; the timer is made, fires
// and is stopped only on the main queue, and each tick synchronizes on the global queue.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Platform/bundle.h"
#include "Platform/error.h"
#include "Platform/timer.h"
#include "Platform/user_defaults.h"
#include "Vorlane/Account/account_facade.h"
#include "Vorlane/Account/vl_credential.h"
#include "Vorlane/Cryption/cryption_facade.h"
#include "Vorlane/Cryption/cryption_interface.h"
#include "Vorlane/Notifications/notifications_facade.h"
#include "Vorlane/Orvanels/orvanel_facade.h"
#include "Vorlane/Policy/policy_facade.h"
#include "Vorlane/Serialization/metadata_translator.h"
#include "Vorlane/Serialization/vl_storage.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"
#include "Vorlane/vorlane_constants.h"

namespace VorlaneBridge {

// The domain and code of the error of a synchronization that found the account's password changed.
inline constexpr char kPasswordChangedErrorDomain[] = "PellixMetaclientErrorDomain";
inline constexpr long kPasswordChangedErrorCode = 25;
// The code (in VLErrorDomain) of a recovery-message request that failed outside the library.
inline constexpr long kRecoveryEmailErrorCode = 50;

class VorlaneFacade : public CryptionInterface, public std::enable_shared_from_this<VorlaneFacade> {
public:
    // Builds the sign-in helpers, the account, notifications, policy, key and archive-key facades and
    // the translator over the one wrapper, then goes on as the constructor below. `guid` is the device
    // identifier (the platform's first three letters, upper case, a hyphen and the machine's UUID),
    // `systemVersion` is "major.minor". A device the library refuses (no name, an identifier without
    // the platform's prefix) fails with the library's exception.
    VorlaneFacade(std::shared_ptr<VorlaneWrapper> vorlane, std::shared_ptr<Platform::UserDefaults> userDefaults,
                  std::shared_ptr<VLStorage> vlStorage, Platform::Bundle bundle, std::string guid,
                  std::optional<std::string> deviceName, std::string systemVersion);
    // Hands the library the application (name and version from the bundle), the protocol scope
    // {"3.0"} and known features {"Deleted Lockers"} and the device; installs the transport and MFA
    // hooks (process-wide); restores the saved state from the storage, ignoring a failure.
    VorlaneFacade(std::shared_ptr<VorlaneWrapper> vorlane, std::shared_ptr<AccountFacade> accountFacade,
                  std::shared_ptr<NotificationsFacade> notificationsFacade, std::shared_ptr<PolicyFacade> policyFacade,
                  std::shared_ptr<OrvanelFacade> orvanelFacade, std::shared_ptr<CryptionFacade> cryptionFacade,
                  std::shared_ptr<MetadataTranslator> metadataTranslator, std::shared_ptr<VLStorage> storage,
                  Platform::Bundle bundle, std::string guid, std::optional<std::string> deviceName,
                  std::string systemVersion);
    ~VorlaneFacade() override;
    VorlaneFacade(const VorlaneFacade&) = delete;
    VorlaneFacade& operator=(const VorlaneFacade&) = delete;

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }
    const std::shared_ptr<AccountFacade>& accountFacade() const { return accountFacade_; }
    const std::shared_ptr<NotificationsFacade>& notificationsFacade() const { return notificationsFacade_; }
    const std::shared_ptr<PolicyFacade>& policyFacade() const { return policyFacade_; }
    const std::shared_ptr<OrvanelFacade>& orvanelFacade() const { return orvanelFacade_; }
    const std::shared_ptr<CryptionFacade>& cryptionFacade() const { return cryptionFacade_; }
    const std::shared_ptr<MetadataTranslator>& serializer() const { return serializer_; }
    const std::string& guid() const { return guid_; }
    const std::optional<std::string>& deviceName() const { return deviceName_; }
    const std::string& systemVersion() const { return systemVersion_; }

    // --- the user and the server, read from the library on every call
    std::string name() const;
    std::string email() const;
    std::string userURN() const;
    bool userIsAlreadyLoggedIn() const;
    bool userIsRegistered() const;
    // The account's e-mail address is verified.
    bool userIsVerified() const;
    // 2 signed in, else 1 registered, else 0.
    unsigned userState() const;
    bool recoveryCanBePerformed() const;
    std::string host() const;
    // None: the default key server (kDefaultCMDSPrefix).
    void setHost(const std::optional<std::string>& host);
    void clearHost();

    // --- the persisted state
    std::shared_ptr<VLStorage> storage() const;
    // Keeps the new storage and restores from it, ignoring a failure.
    void setStorage(std::shared_ptr<VLStorage> storage);
    // The storage's list handed to the library as its whole state; an empty list restores nothing. A
    // storage that gives no list fails with its error, and the library is not touched.
    bool restoreMetadataWithError(Platform::Error* error);
    // The library's pairs handed to the storage (true when no storage is set). When the pairs cannot
    // be made, or the storage fails to keep a changes-only list, the library is told, so the next
    // changes-only store hands the same changes (removals included) out again; either failure is
    // reported with its error, and a list that could not be made never reaches the storage.
    bool storeMetadataChangesOnly(bool changesOnly, Platform::Error* error);

    // --- synchronization
    // Synchronizes, refreshes the facades, stores the changes; when the store succeeded the timer is
    // started (on the main queue). The store's result.
    bool clientSyncWithError(Platform::Error* error);
    // The library's synchronization. A failure stops the timer (on the main queue); a changed password
    // posts kPasswordChangedNotification and fails with code 25 of kPasswordChangedErrorDomain; a device
    // the service disabled posts kVorlaneDeviceDisabledNotification and is signed out (unlink).
    bool syncWithError(Platform::Error* error);
    void refreshInternalState();
    // On the main queue: the timer stops, then a client synchronization runs on the global queue.
    void syncNow();
    // The persisted polling interval in seconds; below 1: 60.
    double syncInterval() const;
    // Main queue only. Nothing while a timer runs; otherwise a repeating timer of syncInterval().
    void startTimer();
    void stopTimer();
    // The timer's tick: a client synchronization on the global queue.
    void syncAndProcessMetadataWithTimer();

    // --- accounts
    // The account facade's sign-in; on success the changes are stored and the facades refreshed, and
    // the credential is returned only when the store succeeded. A device the service refused is
    // signed out.
    std::shared_ptr<VLCredential> loginWithCredential(const std::shared_ptr<VLCredential>& credential, bool mfaEnabled,
                                                      Platform::Error* error);
    // With the address lower-cased; the changes are stored after a creation, whose result stands.
    bool createAccountWithName(const std::string& name, const std::string& email, const std::string& password,
                               Platform::Error* error);
    bool migrateAccountWithEmail(const std::string& email, const std::string& password, const std::string& adPassword,
                                 Platform::Error* error);
    bool requestRecoveryEmailWithError(Platform::Error* error);
    bool requestEmailVerificationWithError(Platform::Error* error);

    // --- archive keys
    // The archive-key requests, answered by the archive-key facade over the same wrapper.
    std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) override;
    std::shared_ptr<EncryptionInfo> archiveEncryptionInfoWithKeyURN(const std::optional<std::string>& keyURN,
                                                                    const std::optional<std::string>& password) override;
    std::shared_ptr<EncryptionInfo> archiveEncryptionInfoNoAssetWithPassword(const std::string& password) override;

    // Signs the device out: notifications, policy, keys and the stored state gone, the default server
    // back, the timer stopped, the user logged out and the in-memory dataset emptied. Every step runs
    // even when one before it failed.
    void unlink();

private:
    // Work for the main queue (run at once when the host set none); skipped once the facade is gone.
    void onMainQueue(void (VorlaneFacade::*step)());
    void onGlobalQueue(void (VorlaneFacade::*step)());
    void syncAndProcessMetadataWithTimerStep();
    // syncNow's work on the main queue.
    void stopTimerAndSync();

    mutable std::mutex storageMutex_;
    std::shared_ptr<VLStorage> storage_;
    std::unique_ptr<Platform::RepeatingTimer> timer_; // main queue only
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
    std::shared_ptr<AccountFacade> accountFacade_;
    std::shared_ptr<NotificationsFacade> notificationsFacade_;
    std::shared_ptr<PolicyFacade> policyFacade_;
    std::shared_ptr<OrvanelFacade> orvanelFacade_;
    std::shared_ptr<CryptionFacade> cryptionFacade_;
    std::shared_ptr<MetadataTranslator> serializer_;
    Platform::Bundle bundle_;
    std::string guid_;
    std::optional<std::string> deviceName_;
    std::string systemVersion_;
};

} // namespace VorlaneBridge
