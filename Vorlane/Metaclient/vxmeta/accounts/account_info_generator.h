// AccountInfoGenerator: the key material of an account: an RSA key pair (new, or the user's current
// one), login parameters for a password, the SID secret with its locator and hash, and the private
// key encrypted under the password-derived key, filled into a PID, a SID and a User record that the
// account creation and the password change send.
#pragma once

#include <string>

#include "vxmeta/access/credentials.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

class AccountInfoGenerator {
public:
    // The key material for a password: with reuse, the signed-in user's key pair, credentials and
    // records (VXMECAT_INTERNAL "Cannot reencrypt private key - it isn't decrypted" without a
    // decrypted private key); without, a new RSA-2048 key pair whose PID URN is `urn`, or, when that
    // is empty, urnsafe of the public key's hashText. Failures of the cryptography pass through.
    AccountInfoGenerator(const std::string& password, bool reuseCurrentKeys, const std::string& urn);
    // Holds the credentials, their saved private key and their login URN as the PID's; generates nothing.
    explicit AccountInfoGenerator(const Credentials& credentials);
    ~AccountInfoGenerator();
    AccountInfoGenerator(const AccountInfoGenerator&) = delete;
    AccountInfoGenerator& operator=(const AccountInfoGenerator&) = delete;

    // For the held key pair: new login parameters (50000 rounds, a fresh salt, no challenge), the
    // User's "loginSalt", "loginRounds" and "sidLocator", the SID's "shash", "version" and "prikey";
    // both records changed. Each encryption is checked by decrypting it again.
    void generate(const std::string& password);
    // The held private key becomes the global state's decrypted private key.
    void setMyPrikey();
    std::string getLoginToken(const std::string& publicKey);
    std::string getLoginTokenHash(const std::string& publicKey);
    Credentials getCredentials() const;

    PID pid;
    SID sid;
    User user;
    // DER bytes of the RSA private key; wiped when the generator is destroyed.
    std::string privateKey;
    Credentials credentials;

    // The login rounds of new login parameters.
    static constexpr int32_t loginRounds = 50000;
};

} // namespace VxMeta
