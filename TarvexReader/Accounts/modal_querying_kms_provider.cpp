#include "TarvexReader/Accounts/modal_querying_kms_provider.h"

#include <utility>

namespace TarvexReader {

ModalQueryingKMSProvider::ModalQueryingKMSProvider(std::shared_ptr<AccountManager> accountManager,
                                                   std::shared_ptr<QWidget> windowController,
                                                   std::shared_ptr<Platform::UserDefaults> userDefaults,
                                                   std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                                                   std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlaneFacade)
    : accountManager_(std::move(accountManager)), windowController_(std::move(windowController)),
      userDefaults_(std::move(userDefaults)), credentialsKeeper_(std::move(credentialsKeeper)),
      vorlaneFacade_(std::move(vorlaneFacade)) {}

std::optional<std::string> ModalQueryingKMSProvider::archiveDecryptionPasswordWithJSON(const std::string& /*json*/) {
    return std::nullopt;
}

} // namespace TarvexReader
