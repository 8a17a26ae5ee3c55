// The sign-in: with an e-mail address and a password, finds the server that serves the address,
// fetches the account's login parameters and either downloads the account to a device that does not
// hold it yet (the account transfer) or proves the password to the service ("ua/login/"); the user's
// private key is then decrypted and held in the global state. When the service cannot be reached, an
// account held on the device signs in offline from its stored secret identity.
#pragma once

#include <string>

namespace VxMeta {

class Credentials;

// Under the sync lock, inside a login change: the online sign-in, or the offline one after a
// communication failure (for the stored address only while the login parameters are not known yet);
// the reconciliation pass ends it, except after an account transfer. A credentials refusal while the
// login parameters named no account is VXMECAT_NOTFOUND "unknown email". The MFA flag changes
// nothing. Never sends a request or waits for an MFA answer with the master lock held.
void login(const std::string& email, const std::string& password, bool mfa);

// The login parameters of the address into the credentials (after the authorized-server check for
// an address with an at sign): the service key they name (its signature of the server URN must
// verify, else VXMECAT_UNAUTHORIZED_SERVER "Server authorization failed - server urn signature is
// invalid"; none or the built-in one: the built-in key), the server prefix they name, then the URN,
// salt, rounds and challenge. An account that must migrate fails with VXMECAT_MIGRATION_REQUIRED
// (after the migration credentials check) unless migrating; migrating an account that needs no
// migration fails with VXMECAT_ALREADY_MIGRATED or VXMECAT_CLIENT. True otherwise.
bool getLoginParameters(const std::string& email, Credentials& credentials, bool migrating);

// Whether the device lacks the account the credentials name: no user id, PID e-mail, PID URN or
// stored SID key, another URN, or no challenge signature.
bool mustTransfer(const Credentials& credentials);

// A new access token for the current server, and that token.
std::string getFreshToken();

// Whether the global state holds a decrypted private key.
bool privateKeyIsSet();

} // namespace VxMeta
