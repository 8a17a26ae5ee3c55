#include "vxmeta/comm/server_authorization.h"

namespace VxMeta {

void checkAuthorization(const std::string& /*publicKey*/, const Json::Value& /*authorization*/,
                        const std::string& /*subject*/) {}

} // namespace VxMeta
