// A desktop notification service for tests: it owns org.freedesktop.Notifications on the session bus
// and appends each Notify call, as one JSON line, to the file named by its first argument. Further
// arguments are capabilities it reports beside "body" (such as "body-markup").
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QVariantMap>

#include <cstdio>

class NotificationRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    NotificationRecorder(QString path, QStringList capabilities)
        : path_(std::move(path)), capabilities_(std::move(capabilities)) {}

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout) {
        QJsonObject call;
        call.insert(QStringLiteral("app_name"), appName);
        call.insert(QStringLiteral("replaces_id"), static_cast<int>(replacesId));
        call.insert(QStringLiteral("app_icon"), appIcon);
        call.insert(QStringLiteral("summary"), summary);
        call.insert(QStringLiteral("body"), body);
        call.insert(QStringLiteral("actions"), QJsonValue::fromVariant(actions));
        call.insert(QStringLiteral("hints"), QJsonObject::fromVariantMap(hints));
        call.insert(QStringLiteral("expire_timeout"), expireTimeout);
        QFile file(path_);
        if (file.open(QIODevice::Append)) {
            file.write(QJsonDocument(call).toJson(QJsonDocument::Compact) + '\n');
        }
        return ++lastId_;
    }
    QStringList GetCapabilities() { return QStringList{QStringLiteral("body")} + capabilities_; }

private:
    QString path_;
    QStringList capabilities_;
    uint lastId_ = 0;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: test_notification_service RECORD_FILE [CAPABILITY...]\n");
        return 2;
    }
    QStringList capabilities;
    for (int i = 2; i < argc; ++i) {
        capabilities << QString::fromLocal8Bit(argv[i]);
    }
    NotificationRecorder recorder(QString::fromLocal8Bit(argv[1]), capabilities);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "cannot own org.freedesktop.Notifications\n");
        return 1;
    }
    return QCoreApplication::exec();
}

#include "test_notification_service.moc"
