#include "Vorlane/Account/account_facade.h"

#include <utility>

#include "Vorlane/Errors/vorlane_error.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/sync/dataset.h"

namespace VorlaneBridge {

AccountFacade::AccountFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, std::shared_ptr<LoginHelper> loginHelper,
                             std::shared_ptr<CreateAccountHelper> createAccountHelper,
                             std::shared_ptr<MigrationHelper> migrationHelper)
    : vorlaneSingleton_(std::move(vorlaneSingleton)), loginHelper_(std::move(loginHelper)),
      createAccountHelper_(std::move(createAccountHelper)), migrationHelper_(std::move(migrationHelper)) {}

bool AccountFacade::isLoggedIn() const { return loginHelper_->isLoggedIn(); }

std::shared_ptr<VLCredential> AccountFacade::loginWithCredential(const std::shared_ptr<VLCredential>& credential,
                                                                 bool mfaEnabled, Platform::Error* error) {
    if (!credential || !credential->email || !credential->activeDirectoryPassword) return nullptr;
    const std::string& email = *credential->email;
    const std::string& typed = *credential->activeDirectoryPassword;

    if (loginHelper_->checkManagedAccount(email, error)) {
        Platform::Error managedError;
        std::optional<std::string> password =
            loginHelper_->loginManagedAccountWithEmail(email, typed, mfaEnabled, &managedError);
        if (password && !password->empty()) {
            credential->systemPassword = std::move(password);
            return credential;
        }
        if (!managedError.domain.empty()) Platform::failWith(error, managedError);
        const std::optional<std::string> category = vxmetaCategory(managedError);
        if (category == VxMeta::VXMECAT_DEVICE_NOT_ALLOWED || category == VxMeta::VXMECAT_MFA_REQUIRED) return nullptr;
    }

    if (loginHelper_->loginUnmanagedAccountWithEmail(email, typed, false, error)) {
        credential->systemPassword = typed;
        return credential;
    }
    if (credential->systemPassword && !credential->systemPassword->empty()) {
        const std::string system = *credential->systemPassword;
        if (loginHelper_->loginUnmanagedAccountWithEmail(email, system, false, error)) return credential;
    }
    return nullptr;
}

bool AccountFacade::createAccountWithName(const std::string& name, const std::string& email,
                                          const std::string& password, Platform::Error* error) {
    return createAccountHelper_->createAccountWithName(name, email, password, error);
}

bool AccountFacade::migrateAccountWithEmail(const std::string& email, const std::string& password,
                                            const std::string& adPassword, Platform::Error* error) {
    return migrationHelper_->migrateWithEmail(email, password, adPassword, error);
}

void AccountFacade::logout() {
    vorlaneSingleton_->vorlane()->logout();
    // The state and every list move into the snapshot, which takes them away with it.
    VxMeta::Dataset discarded;
    discarded.freeze();
}

} // namespace VorlaneBridge
