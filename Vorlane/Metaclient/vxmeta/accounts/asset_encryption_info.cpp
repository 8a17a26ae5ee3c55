#include "vxmeta/accounts/asset_encryption_info.h"

#include <cctype>
#include <limits>
#include <vector>

#include <json/value.h>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {

[[noreturn]] void badMetadata() { throw VxMetaException(VXMECAT_INTERNAL, "Invalid or unknown file metadata format"); }

// A text member of the metadata: a missing or null member is the empty text; any other type is
// not metadata this client reads.
std::string textOf(const Json::Value& value) {
    if (value.isNull()) return std::string();
    if (!value.isString()) badMetadata();
    return value.asString();
}

std::string memberText(const Json::Value& object, const char* name) {
    const Json::Value* found = object.find(name, name + std::char_traits<char>::length(name));
    return found ? textOf(*found) : std::string();
}

// atoi: leading blanks, an optional sign, then digits up to the first other byte; 0 without
// digits. Values beyond the int range stop at its ends.
int32_t atoiOf(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int64_t value = 0;
    const int64_t limit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at)
        if (value < limit) value = value * 10 + (text[at] - '0');
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace

AssetEncryptionInfo extractAssetInfo(const std::string& keyReference) {
    AssetEncryptionInfo info;
    Json::Value metadata;
    if (mayParse(keyReference, metadata)) {
        const Json::Value& document = metadata;
        if (!document.isObject()) badMetadata();
        info.homeServer = memberText(document, "homeServer");
        info.owner = memberText(document, "owner");
        const Json::Value& assets = document["assets"];
        if (assets.isArray()) {
            if (assets.empty()) badMetadata();
            const Json::Value& first = assets[0];
            if (!first.isObject() || first.empty()) badMetadata();
            const auto entry = first.begin();
            const std::vector<std::string> parts = splitParts(entry.name(), ":");
            info.urn = parts.at(0);
            if (parts.size() >= 2) info.sequence = atoiOf(parts[1]);
            info.keymaterial = textOf(*entry);
            return info;
        }
        const Json::Value& cgkey = document["cgkey"];
        if (cgkey.isObject()) {
            info.ca = memberText(cgkey, "ca");
            info.keymaterial = memberText(cgkey, "keymaterial");
            return info;
        }
    }
    const std::vector<std::string> parts = splitParts(keyReference, ":");
    info.urn = parts.empty() ? std::string() : parts[0];
    if (parts.size() == 2) info.sequence = atoiOf(parts[1]);
    return info;
}

} // namespace VxMeta
