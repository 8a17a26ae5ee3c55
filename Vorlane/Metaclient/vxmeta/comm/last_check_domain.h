// lastCheckDomain: the authorized-server look-up's single-entry cache, from the request's Url to the
// reply text, valid for 60 seconds.
#pragma once

#include <string>

#include "vxmeta/comm/url.h"
#include "vxmeta/foundation/cache_one_lookup.h"

namespace VxMeta {

extern CacheOneLookup<TarvexProtocol::UrlPtr, std::string, TarvexProtocol::UrlPtrEqual> lastCheckDomain;

} // namespace VxMeta
