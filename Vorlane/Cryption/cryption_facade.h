// CryptionFacade: the archive-key side of the framework, answering the key-provider protocol through
// the library. So far it answers no archive.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Vorlane/Cryption/cryption_interface.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class CryptionFacade : public CryptionInterface {
public:
    explicit CryptionFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton)
        : vorlaneSingleton_(std::move(vorlaneSingleton)) {}

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }

    std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& /*json*/) override {
        return std::nullopt;
    }

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
};

} // namespace VorlaneBridge
