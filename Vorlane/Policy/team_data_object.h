// The framework's copies of the organisation's team-data records (the policy and its contingency
// keys): TeamDataObject is what the policy model reads, BridgeTeamData the copy the policy facade
// makes of each library record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace VorlaneBridge {

class TeamDataObject {
public:
    virtual ~TeamDataObject() = default;
    virtual uint64_t identifier() const = 0;
    virtual std::optional<std::string> kind() const = 0;
    virtual std::optional<std::string> name() const = 0;
    virtual std::optional<std::string> value() const = 0;
    virtual std::optional<std::string> updatedAtString() const = 0;
};

class BridgeTeamData : public TeamDataObject {
public:
    BridgeTeamData(uint64_t identifier, std::optional<std::string> kind, std::optional<std::string> name,
                   std::optional<std::string> value, std::optional<std::string> updatedAt)
        : identifier_(identifier), kind_(std::move(kind)), name_(std::move(name)), value_(std::move(value)),
          updatedAt_(std::move(updatedAt)) {}

    uint64_t identifier() const override { return identifier_; }
    std::optional<std::string> kind() const override { return kind_; }
    std::optional<std::string> name() const override { return name_; }
    std::optional<std::string> value() const override { return value_; }
    std::optional<std::string> updatedAtString() const override { return updatedAt_; }

    void setIdentifier(uint64_t identifier) { identifier_ = identifier; }
    void setKind(std::optional<std::string> kind) { kind_ = std::move(kind); }
    void setName(std::optional<std::string> name) { name_ = std::move(name); }
    void setValue(std::optional<std::string> value) { value_ = std::move(value); }
    void setUpdatedAtString(std::optional<std::string> updatedAt) { updatedAt_ = std::move(updatedAt); }

private:
    uint64_t identifier_;
    std::optional<std::string> kind_, name_, value_, updatedAt_;
};

} // namespace VorlaneBridge
