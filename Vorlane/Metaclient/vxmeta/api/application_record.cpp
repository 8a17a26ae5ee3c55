#include "vxmeta/api/application_record.h"

#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

std::shared_ptr<App> getMyApp() {
    LockScope lock(masterMutex);
    if (!globalState.myApp) globalState.myApp = std::make_shared<App>();
    if (globalState.myApp->id < 1 && myApps) {
        const int64_t deviceId = myDevice ? myDevice->id : 0;
        for (const std::shared_ptr<App>& app : *myApps)
            if (app && app->deviceid == deviceId && app->name == appName) {
                globalState.myApp = app;
                break;
            }
    }
    return globalState.myApp;
}

} // namespace VxMeta
