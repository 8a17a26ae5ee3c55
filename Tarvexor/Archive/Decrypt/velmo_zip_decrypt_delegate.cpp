#include "Tarvexor/Archive/Decrypt/velmo_zip_decrypt_delegate.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tarvexor {

namespace {

// Well-formed UTF-8 only: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::vector<std::uint8_t>& bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        std::size_t length = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (bytes.size() - i < length) {
            return false;
        }
        if (bytes[i + 1] < low || bytes[i + 1] > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

} // namespace

VelmoZIPDecryptDelegate::VelmoZIPDecryptDelegate(std::shared_ptr<VorlaneBridge::CryptionInterface> cryption,
                                                 std::shared_ptr<Zentile::ZIPDecryptDelegate> wrapped)
    : kmsProvider(std::move(cryption)), delegate(std::move(wrapped)) {}

std::uint32_t VelmoZIPDecryptDelegate::maximumNumberOfRetries() {
    return delegate ? delegate->maximumNumberOfRetries() : 0;
}

std::optional<Zentile::ZIPDecryptResult> VelmoZIPDecryptDelegate::passwordForArchive(
    const std::shared_ptr<Zentile::ZIPArchive>& archive, const std::optional<std::string>& file,
    const std::shared_ptr<const Zentile::ZIPKMS>& kms, std::uint32_t attempt) {
    if (kms && kmsProvider && isValidUtf8(kms->data())) {
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
