#include "reader_ui/reader_test_support.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

namespace ReaderTest {

void saveWindowPicture(QWidget* window, const QString& name) {
    const QString folder = qEnvironmentVariable("VX_ARTIFACT_DIR", QDir::tempPath());
    QDir().mkpath(folder);
    window->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

PrivateHome::PrivateHome(bool createDesktop) {
    qputenv("HOME", dir_.path().toLocal8Bit());
    const QString config = dir_.path() + QStringLiteral("/.config");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (dirs.open(QIODevice::WriteOnly)) {
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/Work Desk\"\n");
    }
    if (createDesktop) {
        QDir().mkpath(desktop());
    }
}

int run(const QString& folder, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return process.exitCode();
}

void writeFiles(const QString& folder, const QList<std::pair<QString, QByteArray>>& files) {
    for (const auto& [relative, content] : files) {
        const QString path = folder + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(content);
        }
    }
}

NotificationService::NotificationService() {
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(QStringLiteral(VX_NOTIFICATION_SERVICE), {dir_.path() + QStringLiteral("/calls.jsonl")});
    started_ = process_.waitForStarted(10000) && waitUntil([&] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
    }, 10000);
}

NotificationService::~NotificationService() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    // Let the bus forget the name before the next service starts.
    waitUntil([] {
        return !QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QStringLiteral("org.freedesktop.Notifications")).value();
    }, 5000);
}

QList<QJsonObject> NotificationService::calls() const {
    QList<QJsonObject> calls;
    QFile file(dir_.path() + QStringLiteral("/calls.jsonl"));
    if (!file.open(QIODevice::ReadOnly)) {
        return calls;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty()) {
            calls.append(QJsonDocument::fromJson(line).object());
        }
    }
    return calls;
}

} // namespace ReaderTest
