#include "TarvexReader/Accounts/account_manager.h"

#include <QFuture>

namespace TarvexReader {

QFuture<int> AccountManager::beginLogIn(QWidget* /*window*/,
                                        const std::shared_ptr<Platform::UserDefaults>& /*userDefaults*/,
                                        const std::shared_ptr<KeychainCredentialsKeeper>& /*credentialsKeeper*/,
                                        const std::shared_ptr<VorlaneBridge::VorlaneFacade>& /*vorlane*/) {
    return QtFuture::makeReadyFuture(0);
}

} // namespace TarvexReader
