// The persisted-state hand-off between the framework and its host: `VLSerial`, one name/value pair of
// the library's saved state, and `VLStorage`, the host's keeper of those pairs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Platform/error.h"

namespace VorlaneBridge {

class VLSerial {
public:
    VLSerial(std::string name, std::string value) : name_(std::move(name)), value_(std::move(value)) {}

    const std::string& name() const { return name_; }
    // An empty value means that the name was removed.
    const std::string& value() const { return value_; }

    bool operator==(const VLSerial&) const = default;

private:
    std::string name_;
    std::string value_;
};

class VLStorage {
public:
    virtual ~VLStorage() = default;

    // The whole saved state, or none with the error.
    virtual std::optional<std::vector<VLSerial>> restoreMetadataWithError(Platform::Error* error) = 0;
    // Keeps the pairs (the whole state or the changes since the last store).
    virtual bool storeMetadata(const std::vector<VLSerial>& metadata, Platform::Error* error) = 0;
    // Forgets everything kept.
    virtual bool removeMetadataWithError(Platform::Error* error) = 0;
};

} // namespace VorlaneBridge
