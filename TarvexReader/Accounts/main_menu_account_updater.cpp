#include "TarvexReader/Accounts/main_menu_account_updater.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "TarvexReader/QtPlatform/main_thread.h"

namespace TarvexReader {

namespace {

QMenu* fileMenu(QMenuBar* bar) {
    for (QAction* action : bar->actions()) {
        QString title = action->text();
        title.remove(QLatin1Char('&'));
        if (title == QStringLiteral("File")) {
            return action->menu();
        }
    }
    return nullptr;
}

QAction* itemWithTag(QMenu* menu, int tag) {
    for (QAction* action : menu->actions()) {
        bool isNumber = false;
        if (action->data().toInt(&isNumber) == tag && isNumber) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

MainMenuAccountUpdater::MainMenuAccountUpdater(QMenuBar* mainMenu) : mainMenu_(mainMenu) {}

void MainMenuAccountUpdater::updateAccount(const Credential& /*credential*/) {
    if (isMainThread()) {
        showSignedIn();
        return;
    }
    // The pointer is read on the main thread only, where the menu bar lives and dies.
    const MainMenuAccountUpdater copy = *this;
    runOnMainThreadAsync([copy] { copy.showSignedIn(); });
}

void MainMenuAccountUpdater::showSignedIn() const {
    if (!mainMenu_) {
        return;
    }
    QMenu* file = fileMenu(mainMenu_);
    if (file == nullptr) {
        return;
    }
    if (QAction* signIn = itemWithTag(file, kSignInTag)) {
        signIn->setVisible(false);
        signIn->setEnabled(false);
    }
    if (QAction* account = itemWithTag(file, kAccountTag)) {
        account->setVisible(true);
        account->setEnabled(true);
    }
}

} // namespace TarvexReader
