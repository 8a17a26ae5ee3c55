#include "vxmeta/sync/deployments.h"

#include <memory>

#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/access_seam.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/dataset_lists.h"

namespace VxMeta {

void clearMarks(RecordList<Deployment>& list) {
    for (const std::shared_ptr<Deployment>& record : list)
        if (record) record->marked = false;
}

void fetchDeployments() {
    LockScope sync(syncMutex);
    LockScope master(masterMutex);
    const RecordListPtr<Deployment> deployments = myDeployments;
    if (!deployments || !myApps) return;
    clearMarks(*deployments);
    // The walk runs over a copy of the App pointers: the lock is released around each fetch.
    const RecordList<App> apps = *myApps;
    for (const std::shared_ptr<App>& app : apps) {
        if (!app) continue;
        if (app->deployid < 1) {
            app->deployment.reset();
            continue;
        }
        if (app->deployment && app->deployment->id != app->deployid) app->deployment.reset();
        if (!app->deployment)
            for (const std::shared_ptr<Deployment>& held : *deployments)
                if (held && held->id == app->deployid) {
                    app->deployment = held;
                    break;
                }
        if (app->deployment) {
            app->deployment->marked = true;
            continue;
        }
        auto fetched = std::make_shared<Deployment>();
        fetched->id = app->deployid;
        master.unlock();
        try {
            fetched->refresh();
        } catch (const VxMetaException& e) {
            master.lock();
            addSyncProblem(e);
            continue;
        }
        master.lock();
        fetched->marked = true;
        app->deployment = fetched;
        deployments->push_back(fetched);
    }
    removeUnmarked(*deployments);
}

} // namespace VxMeta
