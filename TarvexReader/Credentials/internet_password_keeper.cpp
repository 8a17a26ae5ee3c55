#include "TarvexReader/Credentials/internet_password_keeper.h"

#include "TarvexReader/Credentials/default_server_url.h"
#include "TarvexReader/Credentials/keychain_error.h"
#include "TarvexReader/Credentials/utf8_text.h"

#include <utility>

namespace TarvexReader {
namespace {

KeychainQuery credentialItemQuery(const std::string& server) {
    KeychainQuery query;
    query.itemClass = KeychainItemClass::internetPassword;
    query.server = server;
    query.matchLimit = KeychainMatchLimit::one;
    query.returnAttributes = true;
    query.returnData = true;
    return query;
}

} // namespace

InternetPasswordKeeper::InternetPasswordKeeper(std::shared_ptr<Keychain> store) : keychain(std::move(store)) {}

std::string InternetPasswordKeeper::serverOf(const Credential& credential) {
    return credential.host ? *credential.host : startedServerURL();
}

Credential InternetPasswordKeeper::readStoredCredential(const std::string& server) const {
    KeychainResult result;
    KeychainStatus status = keychain->copyMatching(credentialItemQuery(server), &result);
    if (status == kKeychainItemNotFound) {
        throw KeychainError::noPassword();
    }
    if (status != kKeychainSuccess) {
        throw KeychainError::unhandledError(status);
    }
    const KeychainItem* item = result.dictionary();
    if (item == nullptr || !item->valueData || !item->account) {
        throw KeychainError::unexpectedPasswordData();
    }
    auto password = utf8Text(*item->valueData);
    if (!password) {
        throw KeychainError::unexpectedPasswordData();
    }
    // The started server's item is the sign-in without a custom host; any other names its server.
    std::optional<std::string> host;
    if (server != startedServerURL()) {
        host = server;
    }
    Credential credential(*item->account, std::move(host), std::move(*password));
    wipeText(*password);
    return credential;
}

bool InternetPasswordKeeper::hasCredentialItem(const std::string& server) const {
    KeychainQuery query = credentialItemQuery(server);
    query.returnData = false;
    KeychainStatus status = keychain->copyMatching(query, nullptr);
    if (status == kKeychainItemNotFound) {
        return false;
    }
    if (status != kKeychainSuccess) {
        throw KeychainError::unhandledError(status);
    }
    return true;
}

void InternetPasswordKeeper::deleteCredentialItem(const std::string& server) const {
    if (KeychainStatus status = keychain->remove(credentialItemQuery(server)); status != kKeychainSuccess) {
        throw KeychainError::unhandledError(status);
    }
}

void InternetPasswordKeeper::addCredentialItem(const Credential& credential) const {
    KeychainQuery query;
    query.itemClass = KeychainItemClass::internetPassword;
    query.label = kLabel;
    query.account = credential.username;
    query.valueData = SecretBytes(credential.password);
    query.server = serverOf(credential);
    if (KeychainStatus status = keychain->add(query); status != kKeychainSuccess) {
        throw KeychainError::unhandledError(status);
    }
}

} // namespace TarvexReader
