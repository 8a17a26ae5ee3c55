#include "vxmeta/records/notification.h"

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

} // namespace VxMeta
