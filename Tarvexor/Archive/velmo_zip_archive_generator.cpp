#include "Tarvexor/Archive/velmo_zip_archive_generator.h"

#include "Tarvexor/Archive/concrete_zip_archive_delegate_velmo_decrypt.h"
#include "Tarvexor/Archive/velmo_zip_archive_model.h"
#include "Zentile/zip_error.h"

namespace Tarvexor {

VelmoZIPArchiveGenerator::VelmoZIPArchiveGenerator(std::shared_ptr<VorlaneBridge::CryptionInterface> kmsProvider)
    : VelmoZIPArchiveGenerator(std::make_shared<Zentile::ConcreteZIPArchiveGenerator>(), std::move(kmsProvider)) {}

VelmoZIPArchiveGenerator::VelmoZIPArchiveGenerator(std::shared_ptr<Zentile::ZIPArchiveGenerator> generator,
                                                   std::shared_ptr<VorlaneBridge::CryptionInterface> kmsProvider)
    : generator_(std::move(generator)), kmsProvider_(std::move(kmsProvider)) {}

std::shared_ptr<Zentile::ZIPArchive> VelmoZIPArchiveGenerator::readArchiveAtPath(
    const std::string& path, const std::shared_ptr<Platform::FileManager>& fileManager,
    const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate, Platform::Error* error) {
    if (!generator_) {
        Platform::failWith(error, Zentile::makeZIPError(Zentile::ZIPErrorInvalidArgument,
                                                        "The archive generator has no engine generator"));
        return nullptr;
    }
    auto wrapped = VelmoDecrypt::initWithDelegate(delegate, kmsProvider_);
    auto archive = generator_->readArchiveAtPath(path, fileManager, wrapped, error);
    if (!archive) {
        return nullptr;
    }
    return std::make_shared<VelmoZIPArchiveModel>(std::move(archive), kmsProvider_);
}

std::shared_ptr<Zentile::ZIPArchive> VelmoZIPArchiveGenerator::createArchiveWithFiles(
    const std::vector<std::string>&, const std::string&, const std::string&, const Zentile::ZIPOptions&,
    const std::shared_ptr<Zentile::ZIPArchiveDelegate>&, const std::shared_ptr<Platform::FileManager>&,
    Platform::Error*) {
    return nullptr;
}

} // namespace Tarvexor
