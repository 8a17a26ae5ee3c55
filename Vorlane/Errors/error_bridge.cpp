#include "Vorlane/Errors/error_bridge.h"

namespace VorlaneBridge {

Platform::Error errorWithVxMetaException(const VxMeta::VxMetaException& exception) {
    std::map<std::string, std::string> info;
    if (!exception.category.empty()) info[VLCategoryKey] = exception.category;
    if (!exception.message.empty()) info[VLMessageKey] = exception.message;
    if (!exception.reason.empty()) info[VLReasonKey] = exception.reason;
    return Platform::Error(VLErrorDomain, 0, std::move(info));
}

} // namespace VorlaneBridge
