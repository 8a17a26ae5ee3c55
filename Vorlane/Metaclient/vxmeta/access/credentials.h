// Credentials: what the library knows of the signed-in user's secrets, and what it derives from them
// for the service: the key derived from the password and the published login salt and rounds, the
// login token and its hash, the signature of the service's login challenge, and the user's decrypted
// RSA private key, which it finds in the user's secret identity (SID) record and opens.
// Every operation but the accessors, deriveKey and getSHash holds the master lock for its whole run,
// except the SID request of acquirePrivateKey, which is sent without it.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/records/login_parameters.h"

namespace VxMeta {

class User;

class Credentials {
public:
    Credentials();
    Credentials(const Credentials& other);
    Credentials& operator=(const Credentials& other);
    ~Credentials();

    // Copies, each taken under the master lock.
    std::string getURN() const;
    std::string getSignature() const;
    std::string getPassword() const;
    std::string getChallenge() const;
    std::string getLoginSalt() const;
    int32_t getLoginRounds() const;
    std::string getSavedPrivateKey() const;

    // Drops the derived key, the login token and its hash.
    void reset();
    // Drops the login token and its hash, so that the next ones are made afresh (a migration sends
    // them to another server).
    void resetForMigration();
    // Overwrites and empties the secrets: the password, the saved private key and the values
    // derived from the password. The destructor does it too.
    void wipeSecrets();
    // A different password drops the derived values; an equal one changes nothing.
    void setPassword(const std::string& password);
    // A change of URN, salt or rounds drops the derived values; a change of URN also drops the
    // private key, the challenge and the signature. Then setChallenge.
    void setParameters(const std::string& urn, const std::string& salt, int32_t rounds, const std::string& challenge);
    // A different challenge is stored and signed.
    void setChallenge(const std::string& challenge);
    // Parameters for a new account: a fresh salt (base64 of 16 random bytes) and no challenge.
    void generateParameters(const std::string& urn, int32_t rounds);
    // Copies the salt and rounds into the user record (marked locally dirty) when they differ.
    void copyToUser(User& user) const;

    // PBKDF2-HMAC-SHA256 of the password over the salt text, 32 raw bytes; cached.
    std::string getKey();
    // The same derivation from given values; takes no lock, so a round count chosen by a server can
    // run without stalling the other threads. Both refuse counts above kMaxPasswordRounds (INTERNAL).
    static std::string deriveKey(const std::string& password, const std::string& salt, int32_t rounds);
    // Whether the key derived from the held password, this salt and these rounds is held.
    bool holdsKeyFor(const std::string& salt, int32_t rounds) const;
    // Keeps a key that deriveKey made of these values, when they are still the held ones and no key
    // is held yet.
    void adoptKey(const std::string& password, const std::string& salt, int32_t rounds, const std::string& key);
    // The login token (base64), or its RSA encryption for a non-empty public key.
    std::string getLoginToken(const std::string& publicKey);
    // The login token hash (nonce "-" MAC), or its RSA encryption for a non-empty public key. The
    // nonce stays until the derived values are dropped.
    std::string getLoginTokenHash(const std::string& publicKey);

    // Opens an encrypted private key ("V6-" under the derived key, else the password form) and keeps
    // it when it parses as an RSA private key; `keepAsLoggedIn` also makes it the logged-in key.
    // False when it cannot be opened; failures of the text forms are thrown.
    bool decryptPrivateKey(const std::string& encrypted, bool keepAsLoggedIn);
    // Stores the private key (DER bytes; empty erases it) when it differs, and signs the challenge.
    void setSavedPrivateKey(const std::string& privateKey);
    // The SID hash of a locator: "V2-" + urnsafe(base64(HMAC-SHA256(key, seed))), where the seed is
    // the locator decrypted under the derived key.
    std::string getSHash(const std::string& sidLocator);
    // getSHash of the user record's locator.
    std::string getSHash();
    // The private key from what is at hand: the logged-in key, or the held SID's when its hash
    // matches. Whether that worked.
    bool savePrivateKey();
    // The private key of the user's SID, fetched from the service when the held SID does not carry
    // the user's hash; throws when it cannot be opened. The fetch runs without the master lock, so
    // the caller must not hold it; the fetched record is checked and stored under it.
    void acquirePrivateKey();
    // Signs the challenge with the private key, or drops the signature when either is missing.
    void updateSignature();

    // The service's last answer to the login-parameters request (filled by the sign-in).
    LoginParameters loginParameters;
    // Set when acquirePrivateKey had to fetch the SID: the account's recovery data must be renewed.
    bool recoveryUpdateNeeded = false;

private:
    std::string password;
    MonitoredSafeString savedPrivateKey;
    std::string loginSalt;
    int32_t loginRounds = 0;
    std::string derivedKey;
    std::string loginToken;
    std::string loginTokenHash;
    std::string loginURN;
    std::string challenge;
    std::string signature;
};

} // namespace VxMeta
