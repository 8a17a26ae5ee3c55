// The application's one account manager: it holds the credential sheet that both the menu and the
// archives' key providers begin on a window, and after a sheet that ended with a success for a user
// whose e-mail address is not verified yet, shows the verify-email dialog on the main window.
//
// One sheet at a time: a request made while a sheet is shown gets that sheet's outcome, through a
// future of its own, so every waiter keeps its own continuation and nobody waits on a sheet that is
// no longer held. When the sheet ends, the verify-email step runs first, then the waiters' futures
// settle, in the order of their requests. A sheet that goes away without ending (its window closed
// under it) settles as cancelled.
#pragma once

#include <cstddef>
#include <memory>

#include <QFuture>
#include <QPointer>

#include "Platform/user_defaults.h"
#include "TarvexReader/Accounts/credential_entry_window_controller.h"
#include "TarvexReader/Accounts/verify_email_window_controller.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "Vorlane/vorlane_facade.h"

class QWidget;

namespace TarvexReader {

class AccountManager : public std::enable_shared_from_this<AccountManager> {
public:
    AccountManager() = default;
    ~AccountManager();

    // Begins the credential sheet on `window`; the future holds the sheet's code (1 signed in or
    // account created, 0 cancelled) and settles on the main thread. Main thread only.
    QFuture<int> beginLogIn(QWidget* window, const std::shared_ptr<Platform::UserDefaults>& userDefaults,
                            const std::shared_ptr<KeychainCredentialsKeeper>& credentialsKeeper,
                            const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane);

    CredentialEntryWindowController* credentialEntryWindowController() const { return credentialEntryWindowController_; }
    // How many requests wait for the sheet shown now (0 without one).
    std::size_t waitingRequests() const;
    VerifyEmailWindowController* emailConfirmationPanel() const { return emailConfirmationPanel_; }

private:
    struct Shown;

    void showCredentialSheet(const std::shared_ptr<Shown>& shown, QWidget* window,
                             const std::shared_ptr<Platform::UserDefaults>& userDefaults,
                             const std::shared_ptr<KeychainCredentialsKeeper>& credentialsKeeper,
                             const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane);
    void showVerifyEmailIfNeeded(int returnCode, const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane);

    QPointer<CredentialEntryWindowController> credentialEntryWindowController_;
    QPointer<VerifyEmailWindowController> emailConfirmationPanel_;
    // The waiters of the sheet shown now.
    std::shared_ptr<Shown> shown_;
};

} // namespace TarvexReader
