// What the sign-in sheet asks of a credential store: read the remembered sign-in, remember one, forget
// it. Each operation may fail with a `KeychainError`.
#pragma once

#include "TarvexReader/Credentials/credential.h"

namespace TarvexReader {

class CredentialsKeeper {
public:
    virtual ~CredentialsKeeper() = default;
    virtual Credential readStoredCredentials() = 0;
    virtual void storeCredentials(const Credential& credential) = 0;
    virtual void removeStoredCredentials() = 0;
};

} // namespace TarvexReader
