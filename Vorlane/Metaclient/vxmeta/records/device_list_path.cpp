#include "vxmeta/records/device_list_path.h"

#include <cstdint>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"

namespace VxMeta {

std::string deviceBoundListPath(const char* stem, const std::string& since) {
    int64_t deviceId = 0;
    {
        LockScope lock(masterMutex);
        if (myDevice) deviceId = myDevice->id;
    }
    std::string path = std::string(stem) + querySuffix("deviceid", deviceId);
    if (!since.empty()) path += querySuffix2("since", since);
    return path;
}

} // namespace VxMeta
