// MetadataTranslator: converts between the library's saved state (its ordered list of name/value
// pairs) and the `VLSerial` pairs a host storage keeps. It never calls the storage itself.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "Platform/error.h"
#include "Vorlane/Serialization/vl_storage.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class MetadataTranslator {
public:
    explicit MetadataTranslator(std::shared_ptr<VorlaneWrapper> vorlaneSingleton);

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }

    // The library's pairs (every one, or only the changes since the last save) in its order; a name
    // met again is logged to the system log as "Duplicate <name>" (never its value) and left out (the first
    // wins). Nothing changed gives an empty list. A library failure gives none and the error.
    std::optional<std::vector<VLSerial>> metadataWithChanges(bool changesOnly, Platform::Error* error);

    // Hands the pairs to the library as its whole saved state; none or an empty list restores nothing
    // and succeeds. A state the library refuses fails with the library's error (its dataset is then
    // empty); a refusal as invalid also posts kInvalidMetadata on the default centre from the main
    // queue.
    bool restoreMetadata(const std::optional<std::vector<VLSerial>>& metadata, Platform::Error* error);

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
};

} // namespace VorlaneBridge
