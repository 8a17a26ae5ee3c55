#include "TarvexReader/Credentials/generic_password_keeper.h"

#include "TarvexReader/Credentials/keychain_error.h"
#include "TarvexReader/Credentials/utf8_text.h"

#include <utility>

namespace TarvexReader {
namespace {

KeychainQuery hostItemQuery() {
    KeychainQuery query;
    query.itemClass = KeychainItemClass::genericPassword;
    query.service = GenericPasswordKeeper::kService;
    return query;
}

} // namespace

GenericPasswordKeeper::GenericPasswordKeeper(std::shared_ptr<Keychain> store) : keychain(std::move(store)) {}

std::string GenericPasswordKeeper::readStoredHost() const {
    KeychainQuery query = hostItemQuery();
    query.returnAttributes = true;
    query.returnData = true;
    KeychainResult result;
    KeychainStatus status = keychain->copyMatching(query, &result);
    if (status == kKeychainItemNotFound) {
        throw KeychainError::noPassword();
    }
    if (status != kKeychainSuccess) {
        throw KeychainError::unhandledError(status);
    }
    const KeychainItem* item = result.dictionary();
    if (item == nullptr || !item->valueData) {
        throw KeychainError::unexpectedPasswordData();
    }
    auto host = utf8Text(*item->valueData);
    if (!host) {
        throw KeychainError::unexpectedPasswordData();
    }
    return std::move(*host);
}

void GenericPasswordKeeper::deleteHostItem() const {
    if (KeychainStatus status = keychain->remove(hostItemQuery()); status != kKeychainSuccess) {
        throw KeychainError::unhandledError(status);
    }
}

void GenericPasswordKeeper::addHostItem(const std::string& host) const {
    KeychainQuery query = hostItemQuery();
    query.valueData = SecretBytes(host);
    if (KeychainStatus status = keychain->add(query); status != kKeychainSuccess) {
        throw KeychainError::unhandledError(status);
    }
}

} // namespace TarvexReader
