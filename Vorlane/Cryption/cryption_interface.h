// The key-provider protocol: what anything outside the client library calls to obtain an archive's
// password from the key-management service. The archive bridge hands it an entry's archive key
// metadata JSON; an empty answer means the service has no password for that archive.
#pragma once

#include <optional>
#include <string>

namespace VorlaneBridge {

class CryptionInterface {
public:
    virtual ~CryptionInterface() = default;

    // The password of the archive that carries `json` (its archive key metadata, UTF-8), or nothing
    // when the key service has none for it (not signed in, not entitled, any library failure). An
    // empty password is a password.
    virtual std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) = 0;
};

} // namespace VorlaneBridge
