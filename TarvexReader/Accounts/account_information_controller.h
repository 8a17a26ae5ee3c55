// Shows the signed-in account as a dialog on a window, or, while the account's e-mail address is not
// verified, the verify-email dialog; reached from the menu's account action. Each dialog is shown at
// most once at a time: a request while it is up does nothing.
#pragma once

#include <memory>

#include <QPointer>

#include "TarvexReader/Accounts/account_window_controller.h"
#include "TarvexReader/Accounts/verify_email_window_controller.h"
#include "Vorlane/vorlane_facade.h"

class QWidget;

namespace TarvexReader {

class AccountInformationController {
public:
    explicit AccountInformationController(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane);

    // Main thread.
    void showAccountInformation(QWidget* window);

    const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane() const { return vorlane_; }
    AccountWindowController* accountWindowController() const { return shown_->accountWindowController; }
    VerifyEmailWindowController* emailVerificationWindowController() const {
        return shown_->emailVerificationWindowController;
    }

private:
    // The dialogs shown; emptied when a dialog ends, which may be after this controller is gone.
    struct Shown {
        QPointer<AccountWindowController> accountWindowController;
        QPointer<VerifyEmailWindowController> emailVerificationWindowController;
    };

    std::shared_ptr<Shown> shown_ = std::make_shared<Shown>();
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane_;
};

} // namespace TarvexReader
