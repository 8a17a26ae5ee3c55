// The account transfer: downloads the account (its PID and User records) to a device that does not
// hold it yet, proving the password with the login token, then opens the account's private key.
#pragma once

#include <string>

#include <json/value.h>

namespace VxMeta {

class Credentials;

// Under the sync lock, after the login parameters are in the global credentials: POSTs
// "ua/accountTransfer" (the device, application and platform members for the login URN, the login
// token wrapped for the service's key, the e-mail address); a reply naming another account than the
// stored one empties the dataset first (the server and its key stay); the reply's "pid" and "user"
// become myPID and myUser, the user's home server is copied into the global state, and the private
// key is acquired. The MFA flag changes nothing. Makes requests without the master lock.
void transferAccount(const std::string& email, bool mfa);

// Takes over the account of a reply (the transfer's, the migration's): with replacesAnotherAccount, a
// reply naming another account than the stored one empties the dataset first (the server and its key
// stay); the reply's "pid" and "user" become myPID and myUser, the user's home server is copied into
// the global state, the private key is acquired on the credentials (its SID request without the
// master lock), and the credentials become the global ones.
void takeOverAccount(const Json::Value& reply, Credentials& credentials, bool replacesAnotherAccount);

} // namespace VxMeta
