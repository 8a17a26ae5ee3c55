// The archive model handed out by the key-provider generator: opening and extracting run with the
// caller's delegate bundle wrapped so that the key provider is asked first for passwords; every other
// member and action passes on unchanged.
#pragma once

#include <memory>

#include "Tarvexor/Archive/delegating_zip_archive_model.h"
#include "Vorlane/Cryption/cryption_interface.h"

namespace Tarvexor {

class VelmoZIPArchiveModel : public DelegatingZIPArchiveModel {
public:
    VelmoZIPArchiveModel(std::shared_ptr<Zentile::ZIPArchive> internal,
                         std::shared_ptr<VorlaneBridge::CryptionInterface> provider);

    bool openWithDelegate(const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                          Platform::Error* error) override;
    bool extractItems(const Zentile::ZIPItems& items, const std::string& destination,
                      const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool fastExtractToFolder(const std::string& folder, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                             Platform::Error* error) override;

    std::shared_ptr<VorlaneBridge::CryptionInterface> kmsProvider;
};

} // namespace Tarvexor
