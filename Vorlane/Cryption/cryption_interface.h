// The key-provider protocol: what anything outside the client library calls to obtain an archive's
// password from the key-management service, or a password and archive key metadata to create an
// encrypted archive with. The archive bridge hands it an entry's archive key metadata JSON; an empty
// answer means the service has no password for that archive.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Vorlane/Cryption/encryption_info.h"

namespace VorlaneBridge {

class CryptionInterface {
public:
    virtual ~CryptionInterface() = default;

    // The password of the archive that carries `json` (its archive key metadata, UTF-8), or nothing
    // when the key service has none for it (not signed in, not entitled, any library failure). An
    // empty password is a password.
    virtual std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) = 0;

    // The password to encrypt a new archive with (the given one, or one the library makes when none
    // is given) and the metadata the archive must carry: for the managed key `keyURN`, or, with no key
    // URN, in the form of the team's contingency group. Null on any library failure.
    virtual std::shared_ptr<EncryptionInfo> archiveEncryptionInfoWithKeyURN(const std::optional<std::string>& keyURN,
                                                                            const std::optional<std::string>& password) = 0;
    // As above without a managed key.
    virtual std::shared_ptr<EncryptionInfo> archiveEncryptionInfoNoAssetWithPassword(const std::string& password) = 0;
};

} // namespace VorlaneBridge
