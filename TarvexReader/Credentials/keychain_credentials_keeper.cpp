#include "TarvexReader/Credentials/keychain_credentials_keeper.h"

#include "Platform/system_log.h"
#include "TarvexReader/Credentials/default_server_url.h"
#include "TarvexReader/Credentials/keychain_error.h"

#include <utility>

namespace TarvexReader {

KeychainCredentialsKeeper::KeychainCredentialsKeeper(std::shared_ptr<Keychain> keychain,
                                                     std::shared_ptr<Platform::UserDefaults> defaults)
    : hostKeeper(keychain), credentialsKeeper(keychain), userDefaults(std::move(defaults)) {}

Credential KeychainCredentialsKeeper::readStoredCredentials() {
    std::string server = startedServerURL();
    try {
        server = hostKeeper.readStoredHost();
    } catch (const KeychainError& error) {
        // Without a readable host item the sign-in is the default server's; but a store that cannot
        // be read (locked, absent) says nothing about what is stored, and the caller must hear so.
        if (error.kind() == KeychainError::Kind::unhandledError) {
            throw;
        }
    }
    return credentialsKeeper.readStoredCredential(server);
}

void KeychainCredentialsKeeper::removeStoredCredentials() {
    std::string server = startedServerURL();
    std::optional<std::string> deletedHost;
    try {
        std::string host = hostKeeper.readStoredHost();
        hostKeeper.deleteHostItem();
        deletedHost = host;
        server = std::move(host);
    } catch (const KeychainError& error) {
        switch (error.kind()) {
        case KeychainError::Kind::noPassword:
            break;
        case KeychainError::Kind::unexpectedPasswordData:
            // A host item that cannot be read names no server, but it would block every later store.
            hostKeeper.deleteHostItem();
            break;
        case KeychainError::Kind::unhandledError:
            throw;
        }
    }
    try {
        if (!credentialsKeeper.hasCredentialItem(server)) {
            return;
        }
        credentialsKeeper.deleteCredentialItem(server);
    } catch (const KeychainError&) {
        // Without its host item the credential item of a custom server could never be found again.
        putBackHost(deletedHost);
        throw;
    }
}

void KeychainCredentialsKeeper::storeCredentials(const Credential& credential) {
    std::optional<Credential> previous = readPreviousCredentials();
    removeStoredCredentials();
    const std::string server = InternetPasswordKeeper::serverOf(credential);
    try {
        // An earlier item for this server (left by an interrupted run) would make the read ambiguous
        // and the add fail as a duplicate.
        if (credentialsKeeper.hasCredentialItem(server)) {
            credentialsKeeper.deleteCredentialItem(server);
        }
        credentialsKeeper.addCredentialItem(credential);
    } catch (const KeychainError&) {
        restore(previous);
        throw;
    }
    if (credential.host) {
        try {
            hostKeeper.addHostItem(*credential.host);
        } catch (const KeychainError&) {
            try {
                credentialsKeeper.deleteCredentialItem(server);
            } catch (const KeychainError&) {
                // The store refuses changes now; the previous sign-in cannot come back either.
            }
            restore(previous);
            throw;
        }
    }
}

void KeychainCredentialsKeeper::updateAccount(const Credential& credential) { storeCredentialsIfRemembered(credential); }

void KeychainCredentialsKeeper::storeCredentialsIfRemembered(const Credential& credential) {
    if (!userDefaults->boolForKey(kRememberCredentialsKey)) {
        return;
    }
    try {
        storeCredentials(credential);
    } catch (const KeychainError& error) {
        Platform::systemLog("Cannot store credentials: " + error.description());
    }
}

std::optional<Credential> KeychainCredentialsKeeper::readPreviousCredentials() const {
    std::string server = startedServerURL();
    try {
        server = hostKeeper.readStoredHost();
    } catch (const KeychainError& error) {
        if (error.kind() != KeychainError::Kind::noPassword) {
            return std::nullopt;
        }
    }
    try {
        return credentialsKeeper.readStoredCredential(server);
    } catch (const KeychainError&) {
        return std::nullopt;
    }
}

void KeychainCredentialsKeeper::restore(const std::optional<Credential>& previous) const {
    if (!previous) {
        return;
    }
    try {
        credentialsKeeper.addCredentialItem(*previous);
        if (previous->host) {
            hostKeeper.addHostItem(*previous->host);
        }
    } catch (const KeychainError&) {
        // Nothing more can be done; the caller reports the failure that started this.
    }
}

void KeychainCredentialsKeeper::putBackHost(const std::optional<std::string>& host) const {
    if (!host) {
        return;
    }
    try {
        hostKeeper.addHostItem(*host);
    } catch (const KeychainError&) {
        // The caller reports the failure that started this.
    }
}

} // namespace TarvexReader
