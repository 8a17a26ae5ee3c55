#include "vxmeta/records/notification.h"

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/dataset_lists.h"

namespace VxMeta {

const RecordSchema<Notification>& Notification::schema() {
    static const RecordSchema<Notification> table{
        "notification",
        {
            field<&Notification::urn>("urn", InView),
            field<&Notification::mode>("mode", InView),
            field<&Notification::type>("type", InView),
            field<&Notification::message>("message", InView),
            field<&Notification::action1>("action1", InView),
            field<&Notification::action2>("action2", InView),
            field<&Notification::aux>("aux"),
            field<&Notification::id>("id", InView),
        },
    };
    return table;
}

std::string Notification::idstr() const { return idStr(id); }

std::string Notification::geturn() const { return urn; }

std::shared_ptr<Asset> Notification::getAsset() const {
    if (type != "asset_request") return nullptr;
    LockScope lock(masterMutex);
    std::shared_ptr<Asset> found;
    if (myRequests)
        for (const std::shared_ptr<AssetRequest>& request : *myRequests)
            if (request && request->geturn() == urn) found = request->assetLink;
    return found;
}

} // namespace VxMeta
