#include "TarvexReader/Accounts/credential_entry_controller.h"

#include <QPromise>
#include <QThreadPool>

#include <utility>

#include "TarvexReader/Accounts/account_failure.h"
#include "TarvexReader/Credentials/credential.h"

namespace TarvexReader {

CredentialEntryController::CredentialEntryController(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane,
                                                     std::shared_ptr<AccountUpdater> accountUpdater)
    : vorlane_(std::move(vorlane)), accountUpdater_(std::move(accountUpdater)) {}

QFuture<void> CredentialEntryController::createAccount(const std::string& entry, const std::string& name,
                                                       const std::string& password) {
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    // The work holds what it uses, so it may finish after the sheet that started it is gone.
    QThreadPool::globalInstance()->start([promise, vorlane = vorlane_, updater = accountUpdater_, entry, name,
                                          credentialPassword = Credential(std::string(), std::nullopt, password)] {
        auto settle = [&](std::optional<SignInFailure> failure) {
            if (failure) {
                promise->setException(AccountFailure(std::move(*failure)));
            }
            promise->finish();
        };
        EmailAndHost split;
        try {
            split = splitEmailAndHost(entry);
        } catch (const EmailSplitterError& error) {
            settle(SignInFailure(error));
            return;
        }
        if (split.host) {
            vorlane->setHost(split.host);
        }
        Platform::Error error;
        if (!vorlane->createAccountWithName(name, split.email, credentialPassword.password, &error)) {
            settle(SignInFailure(error));
            return;
        }
        updater->updateAccount(Credential(split.email, split.host, credentialPassword.password));
        if (!vorlane->clientSyncWithError(&error)) {
            settle(SignInFailure(error));
            return;
        }
        settle(std::nullopt);
    });
    return future;
}

} // namespace TarvexReader
