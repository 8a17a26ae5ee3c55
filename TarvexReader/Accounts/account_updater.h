// What is told of a successful sign-in or account creation: each updater receives the credential that
// signed in. An update returns nothing and reports no failure.
#pragma once

#include "TarvexReader/Credentials/credential.h"

namespace TarvexReader {

class AccountUpdater {
public:
    virtual ~AccountUpdater() = default;
    virtual void updateAccount(const Credential& credential) = 0;
};

} // namespace TarvexReader
