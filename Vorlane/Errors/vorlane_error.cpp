#include "Vorlane/Errors/vorlane_error.h"

#include "Platform/utf8.h"
#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {

namespace {

void addUnlessEmpty(std::map<std::string, std::string>& info, const char* key, const std::string& text) {
    if (!text.empty()) {
        info.emplace(key, Platform::repairedUtf8(text));
    }
}

std::optional<std::string> valueFor(const Platform::Error& error, const char* key) {
    if (auto found = error.userInfo.find(key); found != error.userInfo.end()) {
        return found->second;
    }
    return std::nullopt;
}

} // namespace

Platform::Error errorWithVxMetaException(const VxMeta::VxMetaException& exception) {
    return Platform::Error(VLErrorDomain, 0, parseException(exception));
}

std::map<std::string, std::string> parseException(const VxMeta::VxMetaException& exception) {
    std::map<std::string, std::string> info;
    addUnlessEmpty(info, VLCategoryKey, exception.category);
    addUnlessEmpty(info, VLMessageKey, exception.what());
    addUnlessEmpty(info, VLReasonKey, exception.reason);
    return info;
}

std::optional<std::string> vxmetaCategory(const Platform::Error& error) { return valueFor(error, VLCategoryKey); }

std::optional<std::string> vxmetaMessage(const Platform::Error& error) { return valueFor(error, VLMessageKey); }

std::optional<std::string> vxmetaReason(const Platform::Error& error) { return valueFor(error, VLReasonKey); }

} // namespace VorlaneBridge
