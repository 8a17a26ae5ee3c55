#include "Vorlane/vorlane_facade.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "Vorlane/Comm/communicate_with_mds.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "Platform/device_identity.h"
#include "Vorlane/MFA/perform_mfa_verification.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"

namespace VorlaneBridge {

namespace {

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

VorlaneFacade::VorlaneFacade(std::shared_ptr<VorlaneWrapper> vorlane,
                             std::shared_ptr<Platform::UserDefaults> userDefaults,
                             std::shared_ptr<VLStorage> vlStorage, Platform::Bundle bundle, std::string guid,
                             std::optional<std::string> deviceName, std::string systemVersion)
    : storage_(std::move(vlStorage)), vorlaneSingleton_(std::move(vorlane)), userDefaults_(std::move(userDefaults)),
      bundle_(std::move(bundle)), guid_(std::move(guid)), deviceName_(std::move(deviceName)),
      systemVersion_(std::move(systemVersion)) {
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

bool VorlaneFacade::restoreMetadataWithError(Platform::Error* error) {
    if (!storage_) {
        return true;
    }
    return storage_->restoreMetadataWithError(error).has_value();
}

std::string VorlaneFacade::name() const { return vorlaneSingleton_->vorlane()->getUserName(); }

std::string VorlaneFacade::email() const { return vorlaneSingleton_->vorlane()->getUserEmail(); }

bool VorlaneFacade::userIsAlreadyLoggedIn() const { return vorlaneSingleton_->vorlane()->isLoggedIn(); }

bool VorlaneFacade::userIsVerified() const { return vorlaneSingleton_->vorlane()->isAuthenticated(); }

std::string VorlaneFacade::host() const { return vorlaneSingleton_->vorlane()->getPrefix(); }

void VorlaneFacade::setHost(const std::optional<std::string>& host) {
    vorlaneSingleton_->vorlane()->setPrefix(host.value_or(kDefaultCMDSPrefix));
}

std::shared_ptr<VLCredential> VorlaneFacade::loginWithCredential(const std::shared_ptr<VLCredential>& credential,
                                                                 bool mfaEnabled, Platform::Error* error) {
    try {
        vorlaneSingleton_->vorlane()->login(credential->email.value_or(std::string()),
                                            credential->activeDirectoryPassword.value_or(std::string()), mfaEnabled);
    } catch (const VxMeta::VxMetaException& exception) {
        Platform::failWith(error, errorWithVxMetaException(exception));
        return nullptr;
    }
    credential->systemPassword = credential->activeDirectoryPassword;
    return credential;
}

bool VorlaneFacade::createAccountWithName(const std::string& name, const std::string& email,
                                          const std::string& password, Platform::Error* error) {
    try {
        vorlaneSingleton_->vorlane()->createAccount(lowerCased(email), name, password);
    } catch (const VxMeta::VxMetaException& exception) {
        return Platform::failWith(error, errorWithVxMetaException(exception));
    }
    return true;
}

bool VorlaneFacade::clientSyncWithError(Platform::Error* error) {
    try {
        vorlaneSingleton_->vorlane()->sync();
    } catch (const VxMeta::VxMetaException& exception) {
        return Platform::failWith(error, errorWithVxMetaException(exception));
    }
    return true;
}

std::optional<std::string> VorlaneFacade::archiveDecryptionPasswordWithJSON(const std::string& /*json*/) {
    return std::nullopt;
}

} // namespace VorlaneBridge
