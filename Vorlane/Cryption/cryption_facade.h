// CryptionFacade: the key provider that asks the client library. Archive passwords come from the
// archive key metadata, new archives get a password and metadata for a managed key or for the team's
// contingency group. Any library failure is an absent answer; other exceptions pass to the caller.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Vorlane/Cryption/cryption_interface.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class CryptionFacade : public CryptionInterface {
public:
    explicit CryptionFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton);

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }
    void setVorlaneSingleton(std::shared_ptr<VorlaneWrapper> vorlaneSingleton);

    // The library's password for the metadata (asked every time, nothing kept), read as UTF-8 text.
    std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) override;
    // An absent and an empty key URN or password reach the library alike, as the empty text.
    std::shared_ptr<EncryptionInfo> archiveEncryptionInfoWithKeyURN(const std::optional<std::string>& keyURN,
                                                                    const std::optional<std::string>& password) override;
    std::shared_ptr<EncryptionInfo> archiveEncryptionInfoNoAssetWithPassword(const std::string& password) override;

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
};

} // namespace VorlaneBridge
