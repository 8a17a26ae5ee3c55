#include "vxmeta/foundation/exception.h"

#include <utility>

namespace VxMeta {

VxMetaException::VxMetaException(std::string cat, std::string msg)
    : category(std::move(cat)), message(std::move(msg)) {}

VxMetaException::VxMetaException(std::string cat, std::string msg, std::string why)
    : category(std::move(cat)), message(std::move(msg)), reason(std::move(why)) {}

VxMetaException::~VxMetaException() = default;

const char* VxMetaException::what() const noexcept { return message.c_str(); }

void VxMetaException::set(const std::string& cat, const std::string& msg) {
    category = cat;
    message = msg;
}

} // namespace VxMeta
