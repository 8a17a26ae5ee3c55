// CacheQuery: a single-entry cache of one service reply, keyed by the full request URL. The sign-in's
// instance, cacheLoginParameters, keeps the login parameters of one address for 2 seconds, so that
// the managed-account check and the sign-in that follows it share one reply.
#pragma once

#include <string>

#include <json/value.h>

#include "vxmeta/foundation/cache_one_lookup.h"

namespace VxMeta {

class CacheQuery : public CacheOneLookup<std::string, Json::Value> {
public:
    using CacheOneLookup::CacheOneLookup;

    // The parsed reply of a GET of the API path on the current server (null when it is not JSON):
    // a copy of the cached one while it is valid for that server and path, else fetched (without the
    // master lock) and cached. A failed request caches nothing and passes on.
    Json::Value get(const std::string& path);
};

// The login parameters' cache: 2 seconds.
extern CacheQuery cacheLoginParameters;

} // namespace VxMeta
