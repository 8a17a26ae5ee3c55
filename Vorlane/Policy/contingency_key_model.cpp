#include "Vorlane/Policy/contingency_key_model.h"

#include <optional>

#include <json/value.h>

#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/json.h"

namespace VorlaneBridge {

namespace {

// The bytes of a base64 text whose characters outside the alphabet (line breaks, spaces) are passed
// over; none when what remains is not whole, correctly padded base64.
std::optional<std::string> lenientBase64(const std::string& text) {
    std::string kept;
    size_t padding = 0;
    for (const char c : text) {
        if (c == '=') {
            ++padding;
            kept.push_back(c);
        } else if (VxMeta::is_base64(static_cast<unsigned char>(c))) {
            if (padding != 0) return std::nullopt; // data after the padding
            kept.push_back(c);
        }
    }
    if (kept.size() % 4 != 0 || padding > 2) return std::nullopt;
    return VxMeta::base64_decode(kept);
}

} // namespace

std::shared_ptr<ContingencyKeyModel> ContingencyKeyModel::contingencyKeyWithJSON(const std::string& json) {
    Json::Value value;
    if (!VxMeta::mayParse(json, value) || !value.isObject()) return nullptr;
    const Json::Value& data = value["data"];
    const Json::Value& type = value["type"];
    if (!data.isString() || !type.isString()) return nullptr;
    const std::optional<std::string> bytes = lenientBase64(data.asString());
    if (!bytes) return nullptr;
    std::string kind = type.asString();
    for (char& c : kind)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (kind == "X509") return std::make_shared<ContingencyKeyModel>(*bytes, kX509);
    if (kind == "PGP") return std::make_shared<ContingencyKeyModel>(*bytes, kPGP);
    return nullptr;
}

} // namespace VorlaneBridge
