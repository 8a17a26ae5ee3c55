// The key provider the application hands the archive bridge for each archive: asked for the password
// of an entry protected by a managed key, it answers from the key-management framework.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/user_defaults.h"
#include "TarvexReader/Accounts/account_manager.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "Vorlane/Cryption/cryption_interface.h"
#include "Vorlane/vorlane_facade.h"

class QWidget;

namespace TarvexReader {

class ModalQueryingKMSProvider : public VorlaneBridge::CryptionInterface {
public:
    // `windowController` is the archive's progress window, the parent of the sign-in dialog.
    ModalQueryingKMSProvider(std::shared_ptr<AccountManager> accountManager, std::shared_ptr<QWidget> windowController,
                             std::shared_ptr<Platform::UserDefaults> userDefaults,
                             std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                             std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlaneFacade);

    // So far no password: the entry's question goes on to the passphrase dialog.
    std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) override;
    // Not used by the application, which creates no archives: no encryption information.
    std::shared_ptr<VorlaneBridge::EncryptionInfo>
    archiveEncryptionInfoWithKeyURN(const std::optional<std::string>&, const std::optional<std::string>&) override {
        return nullptr;
    }
    std::shared_ptr<VorlaneBridge::EncryptionInfo> archiveEncryptionInfoNoAssetWithPassword(const std::string&) override {
        return nullptr;
    }

private:
    std::shared_ptr<AccountManager> accountManager_;
    std::shared_ptr<QWidget> windowController_;
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
    std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper_;
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlaneFacade_;
};

} // namespace TarvexReader
