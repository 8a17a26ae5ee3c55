#include "vxmeta/comm/http_response.h"

#include "vxmeta/foundation/text.h"

namespace VxMeta {

const std::string* findHeader(const HeaderMap& headers, const std::string& name) {
    auto exact = headers.find(name);
    if (exact != headers.end()) return &exact->second;
    for (const auto& [key, value] : headers) {
        if (eq(key, name)) return &value;
    }
    return nullptr;
}

} // namespace VxMeta
