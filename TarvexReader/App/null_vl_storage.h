// The storage of the framework's persisted state that keeps nothing: every run starts signed out.
#pragma once

#include "Vorlane/Serialization/vl_storage.h"

namespace TarvexReader {

class NullVLStorage : public VorlaneBridge::VLStorage {
public:
    // An empty list; never fails.
    std::optional<std::vector<VorlaneBridge::VLSerial>> restoreMetadataWithError(Platform::Error* /*error*/) override {
        return std::vector<VorlaneBridge::VLSerial>();
    }
    bool storeMetadata(const std::vector<VorlaneBridge::VLSerial>& /*metadata*/, Platform::Error* /*error*/) override {
        return true;
    }
    bool removeMetadataWithError(Platform::Error* /*error*/) override { return true; }
};

} // namespace TarvexReader
