#include "Tarvexor/Archive/Decrypt/velmo_zip_decrypt_delegate.h"

#include "Platform/utf8.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tarvexor {

VelmoZIPDecryptDelegate::VelmoZIPDecryptDelegate(std::shared_ptr<VorlaneBridge::CryptionInterface> cryption,
                                                 std::shared_ptr<Zentile::ZIPDecryptDelegate> wrapped)
    : kmsProvider(std::move(cryption)), delegate(std::move(wrapped)) {}

std::uint32_t VelmoZIPDecryptDelegate::maximumNumberOfRetries() {
    return delegate ? delegate->maximumNumberOfRetries() : 0;
}

std::optional<Zentile::ZIPDecryptResult> VelmoZIPDecryptDelegate::passwordForArchive(
    const std::shared_ptr<Zentile::ZIPArchive>& archive, const std::optional<std::string>& file,
    const std::shared_ptr<const Zentile::ZIPKMS>& kms, std::uint32_t attempt) {
    if (kms && kmsProvider && Platform::isValidUtf8(std::string_view(reinterpret_cast<const char*>(kms->data().data()), kms->data().size()))) {
        const std::string json(kms->data().begin(), kms->data().end());
        if (auto password = kmsProvider->archiveDecryptionPasswordWithJSON(json)) {
            return Zentile::ZIPDecryptResult(Zentile::ZIPDecryptDecision::UsePassword, std::move(password));
        }
    }
    if (!delegate) {
        return std::nullopt;
    }
    return delegate->passwordForArchive(archive, file, kms, attempt);
}

} // namespace Tarvexor
