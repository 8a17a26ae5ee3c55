// The hand-off after a successful sign-in or account creation: each updater is told the credential.
#pragma once

#include "TarvexReader/Credentials/credential.h"

namespace TarvexReader {

class AccountUpdater {
public:
    virtual ~AccountUpdater() = default;
    virtual void updateAccount(const Credential& credential) = 0;
};

} // namespace TarvexReader
