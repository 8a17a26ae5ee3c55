#include "Vorlane/Cryption/cryption_facade.h"

#include <utility>

#include "Platform/utf8.h"
#include "Vorlane/Cryption/encryption_data_library.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {

std::shared_ptr<EncryptionData> initWithEncryptionInfo(VxMeta::RawVorlane::EncryptionInfo info) {
    auto text = [](const std::string& bytes) -> std::optional<std::string> {
        if (bytes.empty()) return std::nullopt;
        return Platform::textFromUtf8CString(bytes);
    };
    return std::make_shared<EncryptionData>(text(info.password), text(info.json));
}

CryptionFacade::CryptionFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton)
    : vorlaneSingleton_(std::move(vorlaneSingleton)) {}

void CryptionFacade::setVorlaneSingleton(std::shared_ptr<VorlaneWrapper> vorlaneSingleton) {
    vorlaneSingleton_ = std::move(vorlaneSingleton);
}

std::optional<std::string> CryptionFacade::archiveDecryptionPasswordWithJSON(const std::string& json) {
    try {
        return Platform::textFromUtf8CString(vorlaneSingleton_->vorlane()->getArchiveDecryptionPassword(json, true));
    } catch (const VxMeta::VxMetaException&) {
        return std::nullopt;
    }
}

std::shared_ptr<EncryptionInfo> CryptionFacade::archiveEncryptionInfoWithKeyURN(const std::optional<std::string>& keyURN,
                                                                                const std::optional<std::string>& password) {
    try {
        return initWithEncryptionInfo(vorlaneSingleton_->vorlane()->getArchiveEncryptionPassword(
            keyURN.value_or(std::string()), password.value_or(std::string())));
    } catch (const VxMeta::VxMetaException&) {
        return nullptr;
    }
}

std::shared_ptr<EncryptionInfo> CryptionFacade::archiveEncryptionInfoNoAssetWithPassword(const std::string& password) {
    return archiveEncryptionInfoWithKeyURN(std::nullopt, password);
}

} // namespace VorlaneBridge
