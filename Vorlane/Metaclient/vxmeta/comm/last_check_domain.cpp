#include "vxmeta/comm/last_check_domain.h"

namespace VxMeta {

CacheOneLookup<TarvexProtocol::UrlPtr, std::string, TarvexProtocol::UrlPtrEqual> lastCheckDomain(60);

} // namespace VxMeta
