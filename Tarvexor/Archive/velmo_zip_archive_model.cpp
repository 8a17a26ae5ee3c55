#include "Tarvexor/Archive/velmo_zip_archive_model.h"

#include "Tarvexor/Archive/concrete_zip_archive_delegate_velmo_decrypt.h"

namespace Tarvexor {

VelmoZIPArchiveModel::VelmoZIPArchiveModel(std::shared_ptr<Zentile::ZIPArchive> internal,
                                           std::shared_ptr<VorlaneBridge::CryptionInterface> provider)
    : DelegatingZIPArchiveModel(std::move(internal)), kmsProvider(std::move(provider)) {}

bool VelmoZIPArchiveModel::openWithDelegate(const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                            Platform::Error* error) {
    return DelegatingZIPArchiveModel::openWithDelegate(VelmoDecrypt::initWithDelegate(delegate, kmsProvider), error);
}

bool VelmoZIPArchiveModel::extractItems(const Zentile::ZIPItems& items, const std::string& destination,
                                        const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                        Platform::Error* error) {
    return DelegatingZIPArchiveModel::extractItems(items, destination,
                                                   VelmoDecrypt::initWithDelegate(delegate, kmsProvider), error);
}

bool VelmoZIPArchiveModel::fastExtractToFolder(const std::string& folder,
                                               const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                                               Platform::Error* error) {
    return DelegatingZIPArchiveModel::fastExtractToFolder(folder, VelmoDecrypt::initWithDelegate(delegate, kmsProvider),
                                                          error);
}

} // namespace Tarvexor
