#include "TarvexReader/Accounts/account_manager.h"

#include <QMainWindow>
#include <QPromise>

#include <utility>
#include <vector>

#include "TarvexReader/Accounts/account_updater_manager.h"
#include "TarvexReader/Accounts/main_menu_account_updater.h"
#include "TarvexReader/Accounts/promising_vorlane_facade.h"
#include "TarvexReader/QtPlatform/application_windows.h"
#include "TarvexReader/QtPlatform/held_dialog.h"

namespace TarvexReader {

// The sheet's code, given once to every request that waits for it: when the sheet ends, or as 0 when
// it goes away without ending. Main thread only.
struct AccountManager::Shown {
    std::vector<QPromise<int>> waiters;
    bool settled = false;

    QFuture<int> addWaiter() {
        QPromise<int>& waiter = waiters.emplace_back();
        waiter.start();
        return waiter.future();
    }

    void settle(int code, const std::weak_ptr<AccountManager>& manager,
                const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane) {
        if (settled) {
            return;
        }
        settled = true;
        if (auto self = manager.lock()) {
            self->showVerifyEmailIfNeeded(code, vorlane);
        }
        // A continuation may ask for another sheet, which begins a new list: settle a list of our own.
        std::vector<QPromise<int>> released = std::move(waiters);
        waiters.clear();
        for (QPromise<int>& waiter : released) {
            waiter.addResult(code);
            waiter.finish();
        }
    }
};

AccountManager::~AccountManager() {
    if (credentialEntryWindowController_) {
        credentialEntryWindowController_->deleteLater();
    }
}

std::size_t AccountManager::waitingRequests() const {
    return credentialEntryWindowController_ && shown_ && !shown_->settled ? shown_->waiters.size() : 0;
}

QFuture<int> AccountManager::beginLogIn(QWidget* window, const std::shared_ptr<Platform::UserDefaults>& userDefaults,
                                        const std::shared_ptr<KeychainCredentialsKeeper>& credentialsKeeper,
                                        const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane) {
    if (credentialEntryWindowController_ && shown_ && !shown_->settled) {
        return shown_->addWaiter();
    }
    shown_ = std::make_shared<Shown>();
    QFuture<int> outcome = shown_->addWaiter();
    showCredentialSheet(shown_, window, userDefaults, credentialsKeeper, vorlane);
    return outcome;
}

void AccountManager::showCredentialSheet(const std::shared_ptr<Shown>& shown, QWidget* window,
                                         const std::shared_ptr<Platform::UserDefaults>& userDefaults,
                                         const std::shared_ptr<KeychainCredentialsKeeper>& credentialsKeeper,
                                         const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane) {
    auto updaters = std::make_shared<AccountUpdaterManager>();
    updaters->accountUpdaters.push_back(std::make_shared<MainMenuAccountUpdater>(applicationMainMenu()));
    updaters->accountUpdaters.push_back(credentialsKeeper);

    auto* sheet = new CredentialEntryWindowController(window);
    credentialEntryWindowController_ = sheet;
    sheet->userDefaults = userDefaults;
    sheet->credentialsKeeper = credentialsKeeper;
    sheet->displayer = window;
    sheet->signInController = std::make_shared<SignInModule>(std::make_shared<PromisingVorlaneFacade>(vorlane), updaters);
    sheet->credentialEntryController = std::make_shared<CredentialEntryController>(vorlane, updaters);
    updaters->accountUpdaters.push_back(sheet->accountUpdater());

    sheet->windowDidLoad();
    std::weak_ptr<AccountManager> weak = weak_from_this();
    QObject::connect(sheet, &QDialog::finished, sheet, [weak, shown, sheet, vorlane](int code) {
        if (auto self = weak.lock(); self && self->credentialEntryWindowController_ == sheet) {
            self->credentialEntryWindowController_.clear();
        }
        sheet->deleteLater();
        shown->settle(code, weak, vorlane);
    });
    QObject::connect(sheet, &QObject::destroyed, [weak, shown, vorlane] { shown->settle(0, weak, vorlane); });
    sheet->open();
}

void AccountManager::showVerifyEmailIfNeeded(int returnCode, const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane) {
    if (returnCode != 1 || vorlane->userIsVerified()) {
        return;
    }
    QMainWindow* mainWindow = applicationMainWindow();
    if (mainWindow == nullptr) {
        return;
    }
    if (emailConfirmationPanel_) {
        // The panel of an earlier account is still up; it names the account the facade holds now.
        emailConfirmationPanel_->windowDidLoad();
        return;
    }
    auto* panel = new VerifyEmailWindowController(mainWindow);
    panel->vorlane = vorlane;
    emailConfirmationPanel_ = panel;
    panel->windowDidLoad();
    openHeldDialog(panel, weak_from_this(), &AccountManager::emailConfirmationPanel_);
}

} // namespace TarvexReader
