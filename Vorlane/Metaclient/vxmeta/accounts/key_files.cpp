#include "vxmeta/accounts/key_files.h"

#include <json/value.h>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"

namespace VxMeta {

namespace {

constexpr char kBadContents[] = "Bad AKF contents";

} // namespace

std::string AKFToAssetURN(const std::string& text) {
    if (text.empty()) throw VxMetaException(VXMECAT_CLIENT, kBadContents);
    if (text[0] != '{') return text;
    Json::Value file;
    if (!parse(text, file) || !file.isObject()) throw VxMetaException(VXMECAT_CLIENT, kBadContents);
    int64_t version = 0;
    std::string asset;
    try {
        version = jsonInt(file, "version", 0, VXMECAT_CLIENT);
        if (version < 3) asset = jsonText(file, "asset", std::string(), VXMECAT_CLIENT);
    } catch (const VxMetaException&) {
        throw VxMetaException(VXMECAT_CLIENT, kBadContents);
    }
    if (version >= 3)
        throw VxMetaException(VXMECAT_UPGRADE, "Asset information is using a newer format - upgrade required.");
    return asset;
}

std::string AKFToAssetKind(const std::string& text) {
    const std::string urn = AKFToAssetURN(text);
    return urn.substr(0, urn.find('-'));
}

} // namespace VxMeta
