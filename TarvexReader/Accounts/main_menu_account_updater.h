// The menu after a sign-in: in the File menu the sign-in item (tag 14) is hidden and disabled and the
// account item (tag 15) shown and enabled. Menu items belong to the main thread: an update that
// arrives on another thread (an account creation tells its updaters on a worker) is carried out there.
// A menu item's tag is its action's data.
#pragma once

#include <QPointer>

#include "TarvexReader/Accounts/account_updater.h"

class QMenuBar;

namespace TarvexReader {

class MainMenuAccountUpdater : public AccountUpdater {
public:
    static constexpr int kSignInTag = 14;
    static constexpr int kAccountTag = 15;

    explicit MainMenuAccountUpdater(QMenuBar* mainMenu);

    // The credential is not used.
    void updateAccount(const Credential& credential) override;

private:
    void showSignedIn() const;

    QPointer<QMenuBar> mainMenu_;
};

} // namespace TarvexReader
