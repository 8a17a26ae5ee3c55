#include "Vorlane/vorlane_facade.h"

#include <chrono>
#include <utility>

#include "Platform/device_identity.h"
#include "Platform/dispatch_queue.h"
#include "Platform/notification_center.h"
#include "Vorlane/Comm/communicate_with_mds.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "Vorlane/MFA/perform_mfa_verification.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"

namespace VorlaneBridge {

namespace {

std::shared_ptr<AccountFacade> makeAccountFacade(const std::shared_ptr<VorlaneWrapper>& wrapper) {
    auto loginHelper = std::make_shared<LoginHelper>(wrapper);
    auto createAccountHelper = std::make_shared<CreateAccountHelper>(wrapper);
    auto migrationHelper = std::make_shared<MigrationHelper>(wrapper);
    return std::make_shared<AccountFacade>(wrapper, loginHelper, createAccountHelper, migrationHelper);
}

// A step of the sign-out that must not keep the later steps from running.
template <typename Step>
void unlinkStep(const char* what, Step&& step) {
    try {
        step();
    } catch (const VxMeta::VxMetaException& failure) {
        if (VxMeta::logLevelOn(1)) VxMeta::writeLog(1, "Signing out: %s failed - %s", what, failure.what());
    }
}

} // namespace

VorlaneFacade::VorlaneFacade(std::shared_ptr<VorlaneWrapper> vorlane, std::shared_ptr<Platform::UserDefaults> userDefaults,
                             std::shared_ptr<VLStorage> vlStorage, Platform::Bundle bundle, std::string guid,
                             std::optional<std::string> deviceName, std::string systemVersion)
    : VorlaneFacade(vorlane, makeAccountFacade(vorlane), std::make_shared<NotificationsFacade>(vorlane),
                    std::make_shared<PolicyFacade>(vorlane), std::make_shared<OrvanelFacade>(vorlane, std::move(userDefaults)),
                    std::make_shared<CryptionFacade>(vorlane), std::make_shared<MetadataTranslator>(vorlane),
                    std::move(vlStorage), std::move(bundle), std::move(guid), std::move(deviceName),
                    std::move(systemVersion)) {}

VorlaneFacade::VorlaneFacade(std::shared_ptr<VorlaneWrapper> vorlane, std::shared_ptr<AccountFacade> accountFacade,
                             std::shared_ptr<NotificationsFacade> notificationsFacade,
                             std::shared_ptr<PolicyFacade> policyFacade, std::shared_ptr<OrvanelFacade> orvanelFacade,
                             std::shared_ptr<CryptionFacade> cryptionFacade,
                             std::shared_ptr<MetadataTranslator> metadataTranslator, std::shared_ptr<VLStorage> storage,
                             Platform::Bundle bundle, std::string guid, std::optional<std::string> deviceName,
                             std::string systemVersion)
    : storage_(std::move(storage)), vorlaneSingleton_(std::move(vorlane)), accountFacade_(std::move(accountFacade)),
      notificationsFacade_(std::move(notificationsFacade)), policyFacade_(std::move(policyFacade)),
      orvanelFacade_(std::move(orvanelFacade)), cryptionFacade_(std::move(cryptionFacade)),
      serializer_(std::move(metadataTranslator)), bundle_(std::move(bundle)), guid_(std::move(guid)),
      deviceName_(std::move(deviceName)), systemVersion_(std::move(systemVersion)) {
    VxMeta::Vorlane& library = *vorlaneSingleton_->vorlane();
    library.setAppInfo(bundle_.objectForInfoDictionaryKey(kMetaclientAppName).value_or(std::string()),
                       bundle_.objectForInfoDictionaryKey("CFBundleShortVersionString").value_or(std::string()), {});
    library.setScopesAndKnownFeatures({"3.0"}, {"Deleted Lockers"});
    library.setDeviceInfo(guid_, deviceName_.value_or(std::string()), Platform::kPlatformName, systemVersion_, "");
    VxMeta::netAppCallback = &communicateWithMDS;
    VxMeta::setCapableMfaKinds({VxMeta::MFA_KIND_TOTP}, {});
    VxMeta::setMfaVerificationCallback(&performMFAVerification);
    restoreMetadataWithError(nullptr);
}

VorlaneFacade::~VorlaneFacade() = default;

// --- the user and the server

std::string VorlaneFacade::name() const { return vorlaneSingleton_->vorlane()->getUserName(); }
std::string VorlaneFacade::email() const { return vorlaneSingleton_->vorlane()->getUserEmail(); }
std::string VorlaneFacade::userURN() const { return vorlaneSingleton_->vorlane()->getUserURN(); }
bool VorlaneFacade::userIsAlreadyLoggedIn() const { return vorlaneSingleton_->vorlane()->isLoggedIn(); }
bool VorlaneFacade::userIsRegistered() const { return vorlaneSingleton_->vorlane()->isRegistered(); }
bool VorlaneFacade::userIsVerified() const { return vorlaneSingleton_->vorlane()->isAuthenticated(); }

unsigned VorlaneFacade::userState() const {
    if (userIsAlreadyLoggedIn()) return 2;
    return userIsRegistered() ? 1 : 0;
}

bool VorlaneFacade::recoveryCanBePerformed() const { return vorlaneSingleton_->vorlane()->canRecoveryBePerformed(); }

std::string VorlaneFacade::host() const { return vorlaneSingleton_->vorlane()->getPrefix(); }

void VorlaneFacade::setHost(const std::optional<std::string>& host) {
    vorlaneSingleton_->vorlane()->setPrefix(host.value_or(kDefaultCMDSPrefix));
}

void VorlaneFacade::clearHost() { setHost(std::nullopt); }

// --- the persisted state

std::shared_ptr<VLStorage> VorlaneFacade::storage() const {
    std::lock_guard<std::mutex> guard(storageMutex_);
    return storage_;
}

void VorlaneFacade::setStorage(std::shared_ptr<VLStorage> storage) {
    {
        std::lock_guard<std::mutex> guard(storageMutex_);
        storage_ = std::move(storage);
    }
    restoreMetadataWithError(nullptr);
}

bool VorlaneFacade::restoreMetadataWithError(Platform::Error* error) {
    std::shared_ptr<VLStorage> keeper = storage();
    if (!keeper) return true;
    std::optional<std::vector<VLSerial>> metadata = keeper->restoreMetadataWithError(error);
    // No list is the storage's failure (its error is in `error`), not an empty state.
    if (!metadata) return false;
    return serializer_->restoreMetadata(metadata, error);
}

bool VorlaneFacade::storeMetadataChangesOnly(bool changesOnly, Platform::Error* error) {
    std::optional<std::vector<VLSerial>> metadata = serializer_->metadataWithChanges(changesOnly, error);
    std::shared_ptr<VLStorage> keeper = storage();
    if (metadata && (!keeper || keeper->storeMetadata(*metadata, error))) return true;
    // Not kept: the next changes-only list hands these changes out again.
    if (changesOnly) vorlaneSingleton_->vorlane()->changesWereNotSaved();
    return false;
}

// --- synchronization

bool VorlaneFacade::clientSyncWithError(Platform::Error* error) {
    if (!syncWithError(error)) return false;
    refreshInternalState();
    const bool stored = storeMetadataChangesOnly(true, error);
    if (stored) onMainQueue(&VorlaneFacade::startTimer);
    return stored;
}

bool VorlaneFacade::syncWithError(Platform::Error* error) {
    try {
        vorlaneSingleton_->vorlane()->sync();
        return true;
    } catch (const VxMeta::VxMetaException& failure) {
        onMainQueue(&VorlaneFacade::stopTimer);
        Platform::NotificationCenter& center = Platform::NotificationCenter::defaultCenter();
        if (failure.category == VxMeta::VXMECAT_HTTP && failure.reason == VxMeta::VXMEREASON_CREDENTIALS) {
            const std::string description = "Password has changed. The user needs to enter new password to continue.";
            center.post(kPasswordChangedNotification, this, {{Platform::kLocalizedDescriptionKey, description}});
            return Platform::failWith(error, Platform::Error(kPasswordChangedErrorDomain, kPasswordChangedErrorCode,
                                                             {{Platform::kLocalizedDescriptionKey, description}}));
        }
        if (failure.category == VxMeta::VXMECAT_DEVICE_NOT_ALLOWED) {
            center.post(kVorlaneDeviceDisabledNotification, this);
            unlink();
        }
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
}

void VorlaneFacade::refreshInternalState() {
    notificationsFacade_->refreshNotifications();
    policyFacade_->refreshPolicy();
    // The key list keeps its previous value when the library fails; the synchronization or sign-in
    // that asked for the refresh has already succeeded and stands.
    try {
        orvanelFacade_->refreshFacade();
    } catch (const VxMeta::VxMetaException& failure) {
        if (VxMeta::logLevelOn(1)) VxMeta::writeLog(1, "Refreshing the managed keys failed - %s", failure.what());
    }
}

void VorlaneFacade::syncNow() { onMainQueue(&VorlaneFacade::stopTimerAndSync); }

void VorlaneFacade::stopTimerAndSync() {
    stopTimer();
    syncAndProcessMetadataWithTimer();
}

double VorlaneFacade::syncInterval() const {
    int64_t seconds = 0;
    {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        std::shared_ptr<VxMeta::Persists> persists = VxMeta::getMyPersists();
        seconds = persists ? persists->pollingInterval : 0;
    }
    return seconds < 1 ? 60.0 : static_cast<double>(seconds);
}

void VorlaneFacade::startTimer() {
    if (timer_) return;
    const auto period = std::chrono::milliseconds(static_cast<int64_t>(syncInterval() * 1000));
    std::weak_ptr<VorlaneFacade> weak = weak_from_this();
    timer_ = Platform::scheduleRepeatingTimer(period, [weak] {
        if (auto self = weak.lock()) self->syncAndProcessMetadataWithTimer();
    });
}

void VorlaneFacade::stopTimer() {
    if (timer_) timer_->invalidate();
    timer_.reset();
}

void VorlaneFacade::syncAndProcessMetadataWithTimer() { onGlobalQueue(&VorlaneFacade::syncAndProcessMetadataWithTimerStep); }

void VorlaneFacade::syncAndProcessMetadataWithTimerStep() { clientSyncWithError(nullptr); }

void VorlaneFacade::onMainQueue(void (VorlaneFacade::*step)()) {
    std::weak_ptr<VorlaneFacade> weak = weak_from_this();
    Platform::asyncOnMainQueue([weak, step] {
        if (auto self = weak.lock()) ((*self).*step)();
    });
}

void VorlaneFacade::onGlobalQueue(void (VorlaneFacade::*step)()) {
    std::weak_ptr<VorlaneFacade> weak = weak_from_this();
    Platform::globalQueue()->async([weak, step] {
        if (auto self = weak.lock()) ((*self).*step)();
    });
}

// --- accounts

std::shared_ptr<VLCredential> VorlaneFacade::loginWithCredential(const std::shared_ptr<VLCredential>& credential,
                                                                 bool mfaEnabled, Platform::Error* error) {
    Platform::Error signInError;
    std::shared_ptr<VLCredential> signedIn = accountFacade_->loginWithCredential(credential, mfaEnabled, &signInError);
    if (signedIn) {
        const bool stored = storeMetadataChangesOnly(true, error);
        refreshInternalState();
        return stored ? signedIn : nullptr;
    }
    if (vxmetaCategory(signInError) == VxMeta::VXMECAT_DEVICE_NOT_ALLOWED) unlink();
    if (!signInError.domain.empty()) Platform::failWith(error, std::move(signInError));
    return nullptr;
}

bool VorlaneFacade::createAccountWithName(const std::string& name, const std::string& email, const std::string& password,
                                          Platform::Error* error) {
    const bool created = accountFacade_->createAccountWithName(name, VxMeta::canocase(email), password, error);
    if (created) storeMetadataChangesOnly(true, error);
    return created;
}

bool VorlaneFacade::migrateAccountWithEmail(const std::string& email, const std::string& password,
                                            const std::string& adPassword, Platform::Error* error) {
    return accountFacade_->migrateAccountWithEmail(email, password, adPassword, error);
}

bool VorlaneFacade::requestRecoveryEmailWithError(Platform::Error* error) {
    try {
        vorlaneSingleton_->vorlane()->requestRecoveryEmail(email());
        return true;
    } catch (const VxMeta::VxMetaException& failure) {
        if (VxMeta::logLevelOn(1)) VxMeta::writeLog(1, "pellix error requesting recovery email");
        return Platform::failWith(error, errorWithVxMetaException(failure));
    } catch (const std::exception&) {
        if (VxMeta::logLevelOn(1)) VxMeta::writeLog(1, "unknown error requesting recovery email");
        return Platform::failWith(
            error, Platform::Error(VLErrorDomain, kRecoveryEmailErrorCode,
                                   {{Platform::kLocalizedDescriptionKey,
                                     "Sorry, we are unable to reset your password at this moment. Please try again later."}}));
    }
}

bool VorlaneFacade::requestEmailVerificationWithError(Platform::Error* error) {
    try {
        vorlaneSingleton_->vorlane()->requestEmailVerification();
        return true;
    } catch (const VxMeta::VxMetaException& failure) {
        if (VxMeta::logLevelOn(1)) VxMeta::writeLog(1, "Vorlane error requesting verification email");
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
}

// --- archive keys

std::optional<std::string> VorlaneFacade::archiveDecryptionPasswordWithJSON(const std::string& json) {
    return cryptionFacade_->archiveDecryptionPasswordWithJSON(json);
}

std::shared_ptr<EncryptionInfo> VorlaneFacade::archiveEncryptionInfoWithKeyURN(const std::optional<std::string>& keyURN,
                                                                               const std::optional<std::string>& password) {
    return cryptionFacade_->archiveEncryptionInfoWithKeyURN(keyURN, password);
}

std::shared_ptr<EncryptionInfo> VorlaneFacade::archiveEncryptionInfoNoAssetWithPassword(const std::string& password) {
    return cryptionFacade_->archiveEncryptionInfoNoAssetWithPassword(password);
}

// --- sign-out

void VorlaneFacade::unlink() {
    unlinkStep("clearing the notifications", [&] { notificationsFacade_->clear(); });
    unlinkStep("removing the policy", [&] { policyFacade_->removePolicy(); });
    unlinkStep("forgetting the keys", [&] { orvanelFacade_->unlink(); });
    if (std::shared_ptr<VLStorage> keeper = storage()) keeper->removeMetadataWithError(nullptr);
    unlinkStep("resetting the server", [&] { clearHost(); });
    onMainQueue(&VorlaneFacade::stopTimer);
    unlinkStep("logging out", [&] { accountFacade_->logout(); });
}

} // namespace VorlaneBridge
