#include "TarvexReader/Credentials/keychain_credentials_keeper.h"

#include <utility>

namespace TarvexReader {

namespace {
constexpr std::int32_t kItemNotFound = -25300;
constexpr std::int32_t kUnimplemented = -4;
} // namespace

KeychainCredentialsKeeper::KeychainCredentialsKeeper(std::shared_ptr<Platform::UserDefaults> userDefaults)
    : userDefaults_(std::move(userDefaults)) {}

std::optional<Credential> KeychainCredentialsKeeper::readStoredCredentials(KeychainError* error) {
    if (error != nullptr) {
        *error = KeychainError{KeychainError::Kind::noPassword, kItemNotFound};
    }
    return std::nullopt;
}

bool KeychainCredentialsKeeper::storeCredentials(const Credential& /*credential*/, KeychainError* error) {
    if (error != nullptr) {
        *error = KeychainError{KeychainError::Kind::unhandledError, kUnimplemented};
    }
    return false;
}

bool KeychainCredentialsKeeper::removeStoredCredentials(KeychainError* /*error*/) {
    return true;
}

void KeychainCredentialsKeeper::updateAccount(const Credential& /*credential*/) {}

} // namespace TarvexReader
