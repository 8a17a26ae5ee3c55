// AccountFacade: signs a user in (a managed account through the organisation's directory password,
// else an ordinary one), creates and moves accounts and signs the user out. Every library call goes
// through one of its three helpers; it keeps no account state of its own.
#pragma once

#include <memory>
#include <string>

#include "Platform/error.h"
#include "Vorlane/Account/create_account_helper.h"
#include "Vorlane/Account/login_helper.h"
#include "Vorlane/Account/migration_helper.h"
#include "Vorlane/Account/vl_credential.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class AccountFacade {
public:
    AccountFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, std::shared_ptr<LoginHelper> loginHelper,
                  std::shared_ptr<CreateAccountHelper> createAccountHelper,
                  std::shared_ptr<MigrationHelper> migrationHelper);

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }
    const std::shared_ptr<LoginHelper>& loginHelper() const { return loginHelper_; }
    const std::shared_ptr<CreateAccountHelper>& createAccountHelper() const { return createAccountHelper_; }
    const std::shared_ptr<MigrationHelper>& migrationHelper() const { return migrationHelper_; }
    void setVorlaneSingleton(std::shared_ptr<VorlaneWrapper> wrapper) { vorlaneSingleton_ = std::move(wrapper); }
    void setLoginHelper(std::shared_ptr<LoginHelper> helper) { loginHelper_ = std::move(helper); }
    void setCreateAccountHelper(std::shared_ptr<CreateAccountHelper> helper) { createAccountHelper_ = std::move(helper); }
    void setMigrationHelper(std::shared_ptr<MigrationHelper> helper) { migrationHelper_ = std::move(helper); }

    bool isLoggedIn() const;

    // The credential (e-mail address and typed password required) with `systemPassword` set to the
    // password the service accepted; none on failure. A managed account signs in with the typed
    // password as directory password; a refusal of this device or a demand for MFA ends the sign-in
    // there. Otherwise the plain sign-in follows (MFA flag off), first with the typed password, then
    // with `systemPassword` when one is given. The error ends holding the last failure, even when a
    // later attempt succeeded: callers decide by the result.
    std::shared_ptr<VLCredential> loginWithCredential(const std::shared_ptr<VLCredential>& credential, bool mfaEnabled,
                                                      Platform::Error* error);

    bool createAccountWithName(const std::string& name, const std::string& email, const std::string& password,
                               Platform::Error* error);
    bool migrateAccountWithEmail(const std::string& email, const std::string& password, const std::string& adPassword,
                                 Platform::Error* error);

    // The library's sign-out, then the in-memory dataset emptied. A library failure propagates.
    void logout();

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
    std::shared_ptr<LoginHelper> loginHelper_;
    std::shared_ptr<CreateAccountHelper> createAccountHelper_;
    std::shared_ptr<MigrationHelper> migrationHelper_;
};

} // namespace VorlaneBridge
