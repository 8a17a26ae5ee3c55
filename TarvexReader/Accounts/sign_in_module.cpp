#include "TarvexReader/Accounts/sign_in_module.h"

#include <utility>

#include "TarvexReader/QtPlatform/main_thread.h"

namespace TarvexReader {

SignInModule::SignInModule(std::shared_ptr<PromisingVorlaneFacade> vorlane,
                           std::shared_ptr<AccountUpdater> accountUpdater)
    : vorlane_(std::move(vorlane)), accountUpdater_(std::move(accountUpdater)) {}

void SignInModule::submitSignIn(const std::string& entry, const std::string& password,
                                const std::weak_ptr<SignInModuleDelegate>& delegate) {
    EmailAndHost split;
    try {
        split = splitEmailAndHost(entry);
    } catch (const EmailSplitterError& error) {
        if (auto listener = delegate.lock()) {
            listener->signInFailed(error);
        }
        return;
    }
    const Credential credential(split.email, split.host, password);
    std::optional<SignInFailure> failure;
    try {
        vorlane_->signIn(credential).waitForFinished();
    } catch (const AccountFailure& rejected) {
        failure = rejected.failure;
    }
    std::weak_ptr<SignInModule> weakSelf = weak_from_this();
    runOnMainThreadAsync([weakSelf, delegate, credential, failure] {
        auto self = weakSelf.lock();
        auto listener = delegate.lock();
        if (!self || !listener) {
            return;
        }
        if (failure) {
            listener->signInFailed(*failure);
            return;
        }
        self->accountUpdater_->updateAccount(credential);
        listener->signInSucceeded(credential);
    });
}

} // namespace TarvexReader
