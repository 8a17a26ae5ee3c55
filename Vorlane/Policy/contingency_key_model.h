// A contingency key the organisation's policy names (an X.509 certificate or a PGP key), read from a
// contingency record's value {"data": base64, "type": "X509" or "PGP" in any letter case}.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace VorlaneBridge {

class VLContingencyKey {
public:
    virtual ~VLContingencyKey() = default;
    virtual const std::string& data() const = 0;
};

class ContingencyKeyModel : public VLContingencyKey {
public:
    static constexpr uint64_t kX509 = 1;
    static constexpr uint64_t kPGP = 2;

    ContingencyKeyModel(std::string data, uint64_t type) : data_(std::move(data)), type_(type) {}

    // The key of a record's value, or none when the text is not a JSON object, "data" is missing or
    // not base64 (characters outside the alphabet are passed over), or "type" is neither kind.
    static std::shared_ptr<ContingencyKeyModel> contingencyKeyWithJSON(const std::string& json);

    // The key's bytes.
    const std::string& data() const override { return data_; }
    void setData(std::string data) { data_ = std::move(data); }
    // kX509 or kPGP.
    uint64_t type() const { return type_; }
    void setType(uint64_t type) { type_ = type; }

private:
    std::string data_;
    uint64_t type_;
};

} // namespace VorlaneBridge
