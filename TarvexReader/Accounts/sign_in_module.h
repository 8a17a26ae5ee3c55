// The sign-in submission of the credential sheet: splits the e-mail entry, signs in through the
// promising facade on the calling worker thread, then tells the account updaters and the delegate on
// the main thread.
#pragma once

#include <memory>
#include <string>

#include "TarvexReader/Accounts/account_failure.h"
#include "TarvexReader/Accounts/account_updater.h"
#include "TarvexReader/Accounts/promising_vorlane_facade.h"

namespace TarvexReader {

class SignInModuleDelegate {
public:
    virtual ~SignInModuleDelegate() = default;
    // Main thread, after the account updaters.
    virtual void signInSucceeded(const Credential& credential) = 0;
    // The calling thread for an entry without an e-mail part, the main thread otherwise.
    virtual void signInFailed(const SignInFailure& failure) = 0;
};

class SignInModule : public std::enable_shared_from_this<SignInModule> {
public:
    SignInModule(std::shared_ptr<PromisingVorlaneFacade> vorlane, std::shared_ptr<AccountUpdater> accountUpdater);

    // Runs on the calling thread (a worker); the outcome reaches `delegate`. The completion steps hold
    // this module and the delegate without owning them: when either is gone by then, they do nothing.
    void submitSignIn(const std::string& entry, const std::string& password,
                      const std::weak_ptr<SignInModuleDelegate>& delegate);

    const std::shared_ptr<PromisingVorlaneFacade>& vorlane() const { return vorlane_; }

private:
    std::shared_ptr<PromisingVorlaneFacade> vorlane_;
    std::shared_ptr<AccountUpdater> accountUpdater_;
};

} // namespace TarvexReader
