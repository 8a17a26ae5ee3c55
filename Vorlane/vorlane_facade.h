// VorlaneFacade: the root object of the framework and the host's only way to the key-management
// service. The host creates one at start-up with the API object's holder, its user defaults, its
// storage of the persisted state, its bundle and the device's identity; the facade connects the
// library to the host (transport, MFA hand-off, persisted state).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/bundle.h"
#include "Platform/user_defaults.h"
#include "Vorlane/Account/vl_credential.h"
#include "Vorlane/Cryption/cryption_interface.h"
#include "Vorlane/Serialization/vl_storage.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

// The information-dictionary key of the host's application name.
inline constexpr char kMetaclientAppName[] = "MetaclientAppName";
// The default key-management server; `setHost` uses it for an absent host.
inline constexpr char kDefaultCMDSPrefix[] = "https://mds.tarvex.example/mds/";

class VorlaneFacade : public CryptionInterface {
public:
    // Hands the library the application (name and version from the bundle), the protocol scope and
    // known features, and the device: `guid` is the device identifier (the platform's first three
    // letters, upper case, a hyphen and the machine's UUID), `systemVersion` is "major.minor". A
    // device the library refuses (no name, an identifier without the platform's prefix) fails with the
    // library's exception. Then installs the transport and MFA hooks and restores the saved state.
    VorlaneFacade(std::shared_ptr<VorlaneWrapper> vorlane, std::shared_ptr<Platform::UserDefaults> userDefaults,
                  std::shared_ptr<VLStorage> vlStorage, Platform::Bundle bundle, std::string guid,
                  std::optional<std::string> deviceName, std::string systemVersion);

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }
    const std::shared_ptr<VLStorage>& storage() const { return storage_; }
    const std::string& guid() const { return guid_; }
    const std::optional<std::string>& deviceName() const { return deviceName_; }
    const std::string& systemVersion() const { return systemVersion_; }

    // Asks the storage for the saved state.
    bool restoreMetadataWithError(Platform::Error* error);

    // The signed-in account, read from the library on every call (empty texts when nobody is signed in).
    std::string name() const;
    std::string email() const;
    bool userIsAlreadyLoggedIn() const;
    // The account's e-mail address is verified.
    bool userIsVerified() const;
    // The server prefix of the library; `setHost` with none sets the default server.
    std::string host() const;
    void setHost(const std::optional<std::string>& host);

    // Signs the user in with the credential's e-mail address and password: the same credential (its
    // system password filled in) on success, null with the converted library failure otherwise.
    std::shared_ptr<VLCredential> loginWithCredential(const std::shared_ptr<VLCredential>& credential, bool mfaEnabled,
                                                      Platform::Error* error);
    // Creates an account (the e-mail address lower-cased) on this device and signs it in.
    bool createAccountWithName(const std::string& name, const std::string& email, const std::string& password,
                               Platform::Error* error);
    // One synchronization of the library with the service.
    bool clientSyncWithError(Platform::Error* error);

    // The archive password for an archive key metadata JSON; none while the service answers none.
    std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) override;

private:
    std::shared_ptr<VLStorage> storage_;
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
    Platform::Bundle bundle_;
    std::string guid_;
    std::optional<std::string> deviceName_;
    std::string systemVersion_;
};

} // namespace VorlaneBridge
