// VLOrvanel: one of the user's managed encryption keys as the host sees it, an immutable name and
// URN. Its kind is the URN up to the first "-"; the host passes the URN on to encrypt with the key.
#pragma once

#include <cstddef>
#include <string>

namespace VorlaneBridge {

class VLEncryptionKey {
public:
    virtual ~VLEncryptionKey() = default;
    virtual const std::string& urn() const = 0;
};

class VLOrvanel : public VLEncryptionKey {
public:
    VLOrvanel(std::string name, std::string urn) : name_(std::move(name)), urn_(std::move(urn)) {}

    const std::string& urn() const override { return urn_; }
    const std::string& name() const { return name_; }
    // The URN up to its first "-" (the whole URN when it has none).
    std::string kind() const { return urn_.substr(0, urn_.find('-')); }
    // The text by which a user interface shows the key.
    const std::string& fieldDescription() const { return name_; }

    // Both names and both URNs equal.
    bool isEqualToOrvanel(const VLOrvanel& other) const { return name_ == other.name_ && urn_ == other.urn_; }
    bool operator==(const VLOrvanel& other) const { return isEqualToOrvanel(other); }
    size_t hash() const { return std::hash<std::string>()(name_) ^ std::hash<std::string>()(urn_); }

private:
    std::string name_;
    std::string urn_;
};

} // namespace VorlaneBridge
