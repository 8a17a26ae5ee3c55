// The credential item: an internet password labelled "Tarvex Reader" whose server is the credential's
// host (or the server the application was started with, `startedServerURL()`), whose account is the e-mail address and whose value data is the
// password. Its calls map the store's statuses to `KeychainError`s.
#pragma once

#include "TarvexReader/Credentials/credential.h"
#include "TarvexReader/Credentials/keychain.h"

#include <memory>
#include <string>

namespace TarvexReader {

class InternetPasswordKeeper {
public:
    static constexpr char kLabel[] = "Tarvex Reader";

    explicit InternetPasswordKeeper(std::shared_ptr<Keychain> keychain);

    // The credential stored for `server`; its host is none when `server` is the started server.
    // `noPassword` when there is no item; `unexpectedPasswordData` when the item has no account or
    // its data is missing or not UTF-8; `unhandledError` for any other status of the store.
    Credential readStoredCredential(const std::string& server) const;
    // Whether a credential item exists for `server`, found without loading its secret.
    // `unhandledError` for any status but success and "item not found".
    bool hasCredentialItem(const std::string& server) const;
    // Every status but success is an `unhandledError`, "item not found" included.
    void deleteCredentialItem(const std::string& server) const;
    // Every status but success is an `unhandledError`, "duplicate item" included.
    void addCredentialItem(const Credential& credential) const;

    // The server a credential is stored under: its host, else the started server.
    static std::string serverOf(const Credential& credential);

private:
    std::shared_ptr<Keychain> keychain;
};

} // namespace TarvexReader
