#include "vxmeta/accounts/cache_query.h"

#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

CacheQuery cacheLoginParameters(2);

Json::Value CacheQuery::get(const std::string& path) {
    VCSR executor;
    const std::string asked = executor.getPrefix()->withApiPathAndQuery(path)->fullUrl;
    {
        LockScope lock(masterMutex);
        if (isValid(asked)) return value;
    }
    const Json::Value reply = parseJson(executor.get(path));
    set(asked, reply);
    return reply;
}

} // namespace VxMeta
