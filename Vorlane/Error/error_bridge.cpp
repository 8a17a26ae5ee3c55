#include "Vorlane/Error/error_bridge.h"

#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {

namespace {

std::optional<std::string> valueOf(const Platform::Error& error, const char* key) {
    auto found = error.userInfo.find(key);
    if (found == error.userInfo.end()) return std::nullopt;
    return found->second;
}

} // namespace

std::map<std::string, std::string> parseException(const VxMeta::VxMetaException& exception) {
    std::map<std::string, std::string> info;
    if (!exception.category.empty()) info[VLCategoryKey] = exception.category;
    if (!exception.message.empty()) info[VLMessageKey] = exception.message;
    if (!exception.reason.empty()) info[VLReasonKey] = exception.reason;
    return info;
}

Platform::Error errorWithVxMetaException(const VxMeta::VxMetaException& exception) {
    return Platform::Error(VLErrorDomain, 0, parseException(exception));
}

std::optional<std::string> vxmetaCategory(const Platform::Error& error) { return valueOf(error, VLCategoryKey); }
std::optional<std::string> vxmetaMessage(const Platform::Error& error) { return valueOf(error, VLMessageKey); }
std::optional<std::string> vxmetaReason(const Platform::Error& error) { return valueOf(error, VLReasonKey); }

} // namespace VorlaneBridge
