#include "TarvexReader/QtPlatform/dbus_user_notification_center.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMessageBox>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <string>

#include "Platform/system_log.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "TarvexReader/QtPlatform/plain_text.h"

namespace TarvexReader {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage notificationsCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

// The notification in a window of its own, for a user who would otherwise see nothing.
void showMessageWindow(const Platform::UserNotification& notification) {
    auto* window = new QMessageBox();
    window->setObjectName(QString::fromLatin1(DBusUserNotificationCenter::kMessageWindowName));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::NonModal);
    window->setIcon(QMessageBox::Information);
    window->setTextFormat(Qt::PlainText);
    setPlainWindowTitle(window, QString::fromStdString(notification.title));
    window->setText(QString::fromStdString(notification.informativeText));
    window->setStandardButtons(QMessageBox::Ok);
    window->show();
}

void notDelivered(const Platform::UserNotification& notification, const std::string& why) {
    Platform::systemLog("Desktop notification not delivered: " + why + " (" + notification.title + ": " +
                        notification.informativeText + ")");
    showMessageWindow(notification);
}

// Runs `answered` with the reply of an asynchronous call, on the main thread.
void whenAnswered(QDBusConnection& bus, const QDBusMessage& call,
                  std::function<void(const QDBusPendingCallWatcher&)> answered) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, answered = std::move(answered)] {
                         answered(*watcher);
                         watcher->deleteLater();
                     });
}

void notify(QDBusConnection bus, const Platform::UserNotification& notification, bool bodyIsMarkup) {
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tarvex-reader"));
    if (notification.identifier) {
        hints.insert(QString::fromLatin1(DBusUserNotificationCenter::kIdentifierHint),
                     QString::fromStdString(*notification.identifier));
    }
    const QString text = QString::fromStdString(notification.informativeText);
    QDBusMessage call = notificationsCall(QStringLiteral("Notify"));
    // The summary is plain text by the protocol; the body may be read as markup.
    call << QStringLiteral("Tarvex Reader") << 0U << QString() << QString::fromStdString(notification.title)
         << (bodyIsMarkup ? escapedMarkup(text) : text) << QStringList() << hints << -1;
    whenAnswered(bus, call, [notification](const QDBusPendingCallWatcher& watcher) {
        QDBusPendingReply<unsigned int> reply = watcher;
        if (reply.isError()) {
            notDelivered(notification, reply.error().message().toStdString());
        }
    });
}

void deliverOnMainThread(const Platform::UserNotification& notification) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        notDelivered(notification, "no session bus");
        return;
    }
    // Whether the service reads markup in the body decides how the body is written.
    whenAnswered(bus, notificationsCall(QStringLiteral("GetCapabilities")),
                 [bus, notification](const QDBusPendingCallWatcher& watcher) {
                     QDBusPendingReply<QStringList> capabilities = watcher;
                     if (capabilities.isError()) {
                         notDelivered(notification, capabilities.error().message().toStdString());
                         return;
                     }
                     notify(bus, notification, capabilities.value().contains(QStringLiteral("body-markup")));
                 });
}

} // namespace

void DBusUserNotificationCenter::deliverNotification(const Platform::UserNotification& notification) {
    if (auto delegate = this->delegate(); delegate && !delegate->shouldPresentNotification(notification)) {
        return;
    }
    if (isMainThread()) {
        deliverOnMainThread(notification);
    } else {
        runOnMainThreadAsync([notification] { deliverOnMainThread(notification); });
    }
}

} // namespace TarvexReader
