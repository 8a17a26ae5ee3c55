// The application's one account manager: it holds the sign-in dialog that both the menu and the
// archives' key providers begin on a window.
#pragma once

#include <memory>

#include <QFuture>

#include "Platform/user_defaults.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "Vorlane/vorlane_facade.h"

class QWidget;

namespace TarvexReader {

class AccountManager {
public:
    AccountManager() = default;

    // Begins the sign-in dialog on `window`; the future holds the dialog's code (1 signed in, 0
    // cancelled). So far no dialog is shown and the answer is 0. Main thread only.
    QFuture<int> beginLogIn(QWidget* window, const std::shared_ptr<Platform::UserDefaults>& userDefaults,
                            const std::shared_ptr<KeychainCredentialsKeeper>& credentialsKeeper,
                            const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane);
};

} // namespace TarvexReader
