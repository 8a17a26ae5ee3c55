// The key provider the application hands the archive bridge for each archive: asked for the password
// of an entry protected by a managed key, it answers from the key-management framework. While nobody
// is signed in it first shows the sign-in sheet on the archive's progress window and waits for it; once
// the sheet ended with a success for a verified user, the key request is made here, on the asking
// (extraction) thread, never on the main thread, which stays free for the window and for any question
// the key request itself asks there.
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

class ModalQueryingKMSProvider : public VorlaneBridge::CryptionInterface,
                                 public std::enable_shared_from_this<ModalQueryingKMSProvider> {
public:
    // `windowController` is the archive's progress window, the parent of the sign-in sheet.
    ModalQueryingKMSProvider(std::shared_ptr<AccountManager> accountManager, std::shared_ptr<QWidget> windowController,
                             std::shared_ptr<Platform::UserDefaults> userDefaults,
                             std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                             std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlaneFacade);

    // Signed in: the facade's answer at once. Signed out: the sign-in sheet, then the facade's answer
    // for a verified user after a successful sheet, none otherwise (cancelled, not verified). Called on
    // the main thread while signed out it answers none, since it cannot wait for the sheet there.
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
    struct PendingSignIn;

    void signInOnDemand(const std::shared_ptr<PendingSignIn>& pending);

    std::shared_ptr<AccountManager> accountManager_;
    std::shared_ptr<QWidget> windowController_;
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
    std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper_;
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlaneFacade_;
};

} // namespace TarvexReader
