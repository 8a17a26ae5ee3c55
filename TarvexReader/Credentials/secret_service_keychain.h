// The desktop's secret store (the freedesktop Secret Service, through libsecret) behind the `Keychain`
// calls. Each item class is a schema of the application's own: generic passwords carry the attributes
// "service" and "account", internet passwords "server" and "account"; the label is the item's label
// and the value data its secret. Every search names the schema, so items of other programs are never
// matched. Calls are synchronous and may come from any thread; a locked collection is unlocked through
// the store's own prompt.
#pragma once

#include "TarvexReader/Credentials/keychain.h"

namespace TarvexReader {

class SecretServiceKeychain : public Keychain {
public:
    // The schema names of the two item classes (the items' "xdg:schema" attribute).
    static constexpr char kGenericPasswordSchema[] = "org.tarvex.Reader.GenericPassword";
    static constexpr char kInternetPasswordSchema[] = "org.tarvex.Reader.InternetPassword";

    KeychainStatus copyMatching(const KeychainQuery& query, KeychainResult* result) override;
    KeychainStatus add(const KeychainQuery& attributes) override;
    KeychainStatus remove(const KeychainQuery& query) override;
};

} // namespace TarvexReader
