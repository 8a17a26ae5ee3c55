// The credential store of the application: remembers the user's sign-in in the desktop's secret store
// as a credential item (e-mail address and password, under the server) and, for a custom server, a host
// item naming that server. A credential without a custom host is stored under, and read back only for,
// the server the application was started with (`startedServerURL()`), so a password is never offered
// to a server it was not used with. Copies of one keeper act on the same store and defaults. As an account
// updater it stores the signed-in credential again when the user chose to remember credentials.
//
// Beyond reading and writing the two items, the keeper keeps the store consistent when a call fails:
// - a store that fails part-way leaves the previously remembered sign-in in place, never a credential
//   item without its host item;
// - a removal whose credential item cannot be deleted puts the host item back, so a later removal still
//   finds that item; a host item whose data cannot be read is removed with the rest;
// - reads and removals report the store's own failures (locked, absent) instead of answering as if
//   nothing was stored;
// - one credential item per server: a store first removes any earlier item for the server it writes.
#pragma once

#include "Platform/user_defaults.h"
#include "TarvexReader/Accounts/account_updater.h"
#include "TarvexReader/Credentials/credentials_keeper.h"
#include "TarvexReader/Credentials/generic_password_keeper.h"
#include "TarvexReader/Credentials/internet_password_keeper.h"

#include <memory>
#include <optional>

namespace TarvexReader {

// The user default (Boolean, absent means NO) that holds the user's remember-credentials choice.
inline constexpr char kRememberCredentialsKey[] = "kRememberCredentials";

class KeychainCredentialsKeeper : public CredentialsKeeper, public AccountUpdater {
public:
    KeychainCredentialsKeeper(std::shared_ptr<Keychain> keychain, std::shared_ptr<Platform::UserDefaults> defaults);

    // The credential of the stored host's server, or of the started server when no host item is stored
    // or its data cannot be read.
    Credential readStoredCredentials() override;
    // Removes what is stored, then writes the credential item and, with a custom host, the host item.
    void storeCredentials(const Credential& credential) override;
    // Removes the host item and the credential item of its server (or of the started server).
    void removeStoredCredentials() override;

    // Stores the credential when "kRememberCredentials" is on; a failure is logged, never reported.
    void updateAccount(const Credential& credential) override;
    void storeCredentialsIfRemembered(const Credential& credential);

private:
    // The complete sign-in stored now, when both its items can be read.
    std::optional<Credential> readPreviousCredentials() const;
    // Writes back a sign-in that a failed store removed; failures here change nothing more.
    void restore(const std::optional<Credential>& previous) const;
    void putBackHost(const std::optional<std::string>& host) const;

    GenericPasswordKeeper hostKeeper;
    InternetPasswordKeeper credentialsKeeper;
    std::shared_ptr<Platform::UserDefaults> userDefaults;
};

} // namespace TarvexReader
