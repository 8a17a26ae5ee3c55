// The keeper of the user's remembered sign-in in the user's secret store, and the `CredentialsKeeper`
// interface through which the sign-in dialog reads, stores and removes it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/user_defaults.h"
#include "TarvexReader/Accounts/account_updater.h"
#include "TarvexReader/Credentials/credential.h"

namespace TarvexReader {

struct KeychainError {
    enum class Kind { unhandledError, noPassword, unexpectedPasswordData };
    Kind kind = Kind::unhandledError;
    std::int32_t status = 0;
};

class CredentialsKeeper {
public:
    virtual ~CredentialsKeeper() = default;
    virtual std::optional<Credential> readStoredCredentials(KeychainError* error) = 0;
    virtual bool storeCredentials(const Credential& credential, KeychainError* error) = 0;
    virtual bool removeStoredCredentials(KeychainError* error) = 0;
};

class KeychainCredentialsKeeper : public CredentialsKeeper, public AccountUpdater {
public:
    explicit KeychainCredentialsKeeper(std::shared_ptr<Platform::UserDefaults> userDefaults);

    // So far the keeper holds nothing: a read finds no password, a store is refused.
    std::optional<Credential> readStoredCredentials(KeychainError* error) override;
    bool storeCredentials(const Credential& credential, KeychainError* error) override;
    bool removeStoredCredentials(KeychainError* error) override;
    void updateAccount(const Credential& credential) override;

private:
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
};

} // namespace TarvexReader
