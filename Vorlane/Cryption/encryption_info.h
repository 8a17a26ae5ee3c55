// EncryptionInfo: what a host gets back when it asks for a password to create an encrypted archive
// with: the archive password and the archive key metadata JSON to store with the archive, each
// possibly absent. EncryptionData is the plain value that carries them.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace VorlaneBridge {

class EncryptionInfo {
public:
    virtual ~EncryptionInfo() = default;
    virtual std::optional<std::string> password() const = 0;
    virtual std::optional<std::string> json() const = 0;
};

class EncryptionData : public EncryptionInfo {
public:
    EncryptionData(std::optional<std::string> password, std::optional<std::string> json)
        : password_(std::move(password)), json_(std::move(json)) {}

    std::optional<std::string> password() const override { return password_; }
    std::optional<std::string> json() const override { return json_; }
    void setPassword(std::optional<std::string> password) { password_ = std::move(password); }
    void setJson(std::optional<std::string> json) { json_ = std::move(json); }

private:
    std::optional<std::string> password_;
    std::optional<std::string> json_;
};

} // namespace VorlaneBridge
