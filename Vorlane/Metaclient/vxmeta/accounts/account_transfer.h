// The account transfer: downloads the account (its PID and User records) to a device that does not
// hold it yet, proving the password with the login token, then opens the account's private key.
#pragma once

#include <string>

namespace VxMeta {

// Under the sync lock, after the login parameters are in the global credentials: POSTs
// "ua/accountTransfer" (the device, application and platform members for the login URN, the login
// token wrapped for the service's key, the e-mail address); a reply naming another account than the
// stored one empties the dataset first (the server and its key stay); the reply's "pid" and "user"
// become myPID and myUser, the user's home server is copied into the global state, and the private
// key is acquired. The MFA flag changes nothing. Makes requests without the master lock.
void transferAccount(const std::string& email, bool mfa);

} // namespace VxMeta
