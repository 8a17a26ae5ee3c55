#include "Vorlane/vorlane_facade.h"

#include <utility>

#include "Vorlane/Comm/communicate_with_mds.h"
#include "Platform/device_identity.h"
#include "Vorlane/MFA/perform_mfa_verification.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"

namespace VorlaneBridge {

VorlaneFacade::VorlaneFacade(std::shared_ptr<VorlaneWrapper> vorlane,
                             std::shared_ptr<Platform::UserDefaults> userDefaults,
                             std::shared_ptr<VLStorage> vlStorage, Platform::Bundle bundle, std::string guid,
                             std::optional<std::string> deviceName, std::string systemVersion)
    : storage_(std::move(vlStorage)), vorlaneSingleton_(std::move(vorlane)), userDefaults_(std::move(userDefaults)),
      bundle_(std::move(bundle)), guid_(std::move(guid)), deviceName_(std::move(deviceName)),
      systemVersion_(std::move(systemVersion)), cryptionFacade_(std::make_shared<CryptionFacade>(vorlaneSingleton_)) {
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

} // namespace VorlaneBridge
