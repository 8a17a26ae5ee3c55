// The account-creation submission of the credential sheet: on a worker thread, splits the e-mail entry,
// sets the server when one was given, creates the account, tells the account updaters and runs the
// first synchronization.
#pragma once

#include <memory>
#include <string>

#include <QFuture>

#include "TarvexReader/Accounts/account_updater.h"
#include "Vorlane/vorlane_facade.h"

namespace TarvexReader {

class CredentialEntryController {
public:
    CredentialEntryController(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane,
                              std::shared_ptr<AccountUpdater> accountUpdater);

    // Returns at once. Fulfilled when the account exists and the first synchronization succeeded;
    // rejected with `AccountFailure` holding the first error. The updaters are told on the worker,
    // before the synchronization, so they have run even when it fails.
    QFuture<void> createAccount(const std::string& entry, const std::string& name, const std::string& password);

    const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane() const { return vorlane_; }

private:
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane_;
    std::shared_ptr<AccountUpdater> accountUpdater_;
};

} // namespace TarvexReader
