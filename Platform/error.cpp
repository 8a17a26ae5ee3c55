#include "Platform/error.h"

#include <utility>

namespace Platform {

Error::Error(std::string errorDomain, long errorCode, std::map<std::string, std::string> info)
    : domain(std::move(errorDomain)), code(errorCode), userInfo(std::move(info)) {}

std::string Error::localizedDescription() const {
    if (auto found = userInfo.find(kLocalizedDescriptionKey); found != userInfo.end()) {
        return found->second;
    }
    return "The operation couldn\u2019t be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

bool failWith(Error* out, Error error) {
    if (out != nullptr) {
        *out = std::move(error);
    }
    return false;
}

} // namespace Platform
