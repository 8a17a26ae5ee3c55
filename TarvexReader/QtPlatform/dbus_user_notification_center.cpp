#include "TarvexReader/QtPlatform/dbus_user_notification_center.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "Platform/system_log.h"

namespace TarvexReader {

void DBusUserNotificationCenter::deliverNotification(const Platform::UserNotification& notification) {
    if (auto delegate = this->delegate(); delegate && !delegate->shouldPresentNotification(notification)) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Platform::systemLog("No desktop notification: no session bus (" + notification.title + ")");
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tarvex-reader"));
    if (notification.identifier) {
        hints.insert(QString::fromLatin1(kIdentifierHint), QString::fromStdString(*notification.identifier));
    }
    call << QStringLiteral("Tarvex Reader") << 0U << QString() << QString::fromStdString(notification.title)
         << QString::fromStdString(notification.informativeText) << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher] {
        QDBusPendingReply<unsigned int> reply = *watcher;
        if (reply.isError()) {
            Platform::systemLog("Desktop notification not delivered: " + reply.error().message().toStdString());
        }
        watcher->deleteLater();
    });
}

} // namespace TarvexReader
