// User notifications as desktop notifications: the freedesktop "Notify" call on the session bus. A
// missing bus or notification service is written to the system log, never reported to the caller.
#pragma once

#include "Platform/user_notification.h"

namespace TarvexReader {

class DBusUserNotificationCenter : public Platform::UserNotificationCenter {
public:
    // The hint that carries a notification's identifier.
    static constexpr char kIdentifierHint[] = "x-tarvex-identifier";

    void deliverNotification(const Platform::UserNotification& notification) override;
};

} // namespace TarvexReader
