// The host item: a generic password of the service "Tarvex Reader" whose value data is the custom
// server the user signed in with. Its three calls map the store's statuses to `KeychainError`s.
#pragma once

#include "TarvexReader/Credentials/keychain.h"

#include <memory>
#include <string>

namespace TarvexReader {

class GenericPasswordKeeper {
public:
    static constexpr char kService[] = "Tarvex Reader";

    explicit GenericPasswordKeeper(std::shared_ptr<Keychain> keychain);

    // The stored host text. `noPassword` when there is no host item; `unexpectedPasswordData` when its
    // data is missing or not UTF-8; `unhandledError` for any other status of the store.
    std::string readStoredHost() const;
    // Every status but success is an `unhandledError`, "item not found" included.
    void deleteHostItem() const;
    // Every status but success is an `unhandledError`, "duplicate item" included.
    void addHostItem(const std::string& host) const;

private:
    std::shared_ptr<Keychain> keychain;
};

} // namespace TarvexReader
