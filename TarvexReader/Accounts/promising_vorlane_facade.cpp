#include "TarvexReader/Accounts/promising_vorlane_facade.h"

#include <QPromise>

#include <utility>

#include "TarvexReader/Accounts/account_failure.h"

namespace TarvexReader {

PromisingVorlaneFacade::PromisingVorlaneFacade(std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane)
    : vorlane_(std::move(vorlane)) {}

QFuture<void> PromisingVorlaneFacade::signIn(const Credential& credential) {
    QPromise<void> promise;
    QFuture<void> future = promise.future();
    promise.start();
    if (credential.host) {
        vorlane_->setHost(credential.host);
    }
    auto vlCredential = std::make_shared<VorlaneBridge::VLCredential>();
    vlCredential->email = credential.username;
    vlCredential->activeDirectoryPassword = credential.password;
    vlCredential->systemPassword = credential.password;
    Platform::Error error;
    if (!vorlane_->loginWithCredential(vlCredential, false, &error)) {
        promise.setException(AccountFailure(error));
    } else if (!vorlane_->clientSyncWithError(&error)) {
        promise.setException(AccountFailure(error));
    }
    promise.finish();
    return future;
}

} // namespace TarvexReader
