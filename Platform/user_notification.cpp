#include "Platform/user_notification.h"

#include <utility>

#include "Platform/process_setting.h"

namespace Platform {

namespace {
ProcessSetting<std::shared_ptr<UserNotificationCenter>>& centerSetting() {
    static ProcessSetting<std::shared_ptr<UserNotificationCenter>> setting;
    return setting;
}
} // namespace

UserNotificationCenterDelegate::~UserNotificationCenterDelegate() = default;
UserNotificationCenter::~UserNotificationCenter() = default;

std::shared_ptr<UserNotificationCenter> defaultUserNotificationCenter() {
    return centerSetting().get();
}

void setDefaultUserNotificationCenter(std::shared_ptr<UserNotificationCenter> center) {
    centerSetting().set(std::move(center));
}

} // namespace Platform
