#include "Platform/user_notification.h"

#include <mutex>
#include <utility>

namespace Platform {

namespace {
std::mutex centerMutex;
std::shared_ptr<UserNotificationCenter>& centerSlot() {
    static std::shared_ptr<UserNotificationCenter> center;
    return center;
}
} // namespace

UserNotificationCenterDelegate::~UserNotificationCenterDelegate() = default;
UserNotificationCenter::~UserNotificationCenter() = default;

std::shared_ptr<UserNotificationCenter> defaultUserNotificationCenter() {
    std::lock_guard<std::mutex> guard(centerMutex);
    return centerSlot();
}

void setDefaultUserNotificationCenter(std::shared_ptr<UserNotificationCenter> center) {
    std::lock_guard<std::mutex> guard(centerMutex);
    centerSlot() = std::move(center);
}

} // namespace Platform
