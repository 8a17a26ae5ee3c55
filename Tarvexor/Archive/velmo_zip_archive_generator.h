// The archive generator an application creates to open archives through the key provider: archives it
// reads come back as `VelmoZIPArchiveModel`s, and reading itself already asks the provider first. It
// creates no archives.
#pragma once

#include <memory>

#include "Vorlane/Cryption/cryption_interface.h"
#include "Zentile/zip_archive_generator.h"

namespace Tarvexor {

class VelmoZIPArchiveGenerator : public Zentile::ZIPArchiveGenerator {
public:
    // Over the engine's own generator.
    explicit VelmoZIPArchiveGenerator(std::shared_ptr<VorlaneBridge::CryptionInterface> kmsProvider);
    VelmoZIPArchiveGenerator(std::shared_ptr<Zentile::ZIPArchiveGenerator> generator,
                             std::shared_ptr<VorlaneBridge::CryptionInterface> kmsProvider);

    const std::shared_ptr<Zentile::ZIPArchiveGenerator>& generator() const { return generator_; }
    const std::shared_ptr<VorlaneBridge::CryptionInterface>& kmsProvider() const { return kmsProvider_; }

    // The engine's archive wrapped with this generator's provider, or none with the engine's error.
    std::shared_ptr<Zentile::ZIPArchive> readArchiveAtPath(const std::string& path,
                                                           const std::shared_ptr<Platform::FileManager>& fileManager,
                                                           const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                                           Platform::Error* error) override;
    // Always none; the error out-parameter is left as it was.
    std::shared_ptr<Zentile::ZIPArchive> createArchiveWithFiles(
        const std::vector<std::string>& files, const std::string& destination, const std::string& name,
        const Zentile::ZIPOptions& options, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
        const std::shared_ptr<Platform::FileManager>& fileManager, Platform::Error* error) override;

private:
    std::shared_ptr<Zentile::ZIPArchiveGenerator> generator_;
    std::shared_ptr<VorlaneBridge::CryptionInterface> kmsProvider_;
};

} // namespace Tarvexor
