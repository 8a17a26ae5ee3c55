// User notifications as desktop notifications: the freedesktop "Notify" call on the session bus, the
// body's markup characters escaped for a service that reads markup there ("body-markup" among its
// capabilities). When a notification cannot be delivered (no session bus, no notification service,
// an error answer), the same title and text are shown in a plain message window instead, and the
// failure is written to the system log. Nothing is reported to the caller.
#pragma once

#include "Platform/user_notification.h"

namespace TarvexReader {

class DBusUserNotificationCenter : public Platform::UserNotificationCenter {
public:
    // The hint that carries a notification's identifier.
    static constexpr char kIdentifierHint[] = "x-tarvex-identifier";
    // The object name of the message window shown in place of an undelivered notification.
    static constexpr char kMessageWindowName[] = "notificationMessage";

    // Any thread; the work runs on the main thread.
    void deliverNotification(const Platform::UserNotification& notification) override;
};

} // namespace TarvexReader
