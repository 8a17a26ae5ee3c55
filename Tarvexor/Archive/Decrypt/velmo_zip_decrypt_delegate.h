// The decryption delegate that asks the key provider first: an entry that carries a key-service record
// gets the provider's password for that record; an entry without one, or one the provider has no
// password for, goes to the wrapped delegate (with the record still attached).
#pragma once

#include <memory>

#include "Vorlane/Cryption/cryption_interface.h"
#include "Zentile/zip_decrypt_delegate.h"

namespace Tarvexor {

class VelmoZIPDecryptDelegate : public Zentile::ZIPDecryptDelegate {
public:
    VelmoZIPDecryptDelegate(std::shared_ptr<VorlaneBridge::CryptionInterface> cryption,
                            std::shared_ptr<Zentile::ZIPDecryptDelegate> wrapped);

    // The wrapped delegate's value; 0 without one.
    std::uint32_t maximumNumberOfRetries() override;

    // The provider is asked again on every attempt; while it has a password for the record, the
    // answer is that password (decision 0). A record that is not valid UTF-8 is not handed to the
    // provider. Without a provider password and without a wrapped delegate: none.
    std::optional<Zentile::ZIPDecryptResult> passwordForArchive(const std::shared_ptr<Zentile::ZIPArchive>& archive,
                                                                const std::optional<std::string>& file,
                                                                const std::shared_ptr<const Zentile::ZIPKMS>& kms,
                                                                std::uint32_t attempt) override;

    std::shared_ptr<VorlaneBridge::CryptionInterface> kmsProvider;
    std::shared_ptr<Zentile::ZIPDecryptDelegate> delegate;
};

} // namespace Tarvexor
