#include "reader_ui/reader_test_support.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

NotificationService::NotificationService(const QStringList& capabilities) {
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(QStringLiteral(VX_NOTIFICATION_SERVICE), QStringList{dir_.path() + QStringLiteral("/calls.jsonl")} + capabilities);
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

TrapFile::TrapFile() {
    const QByteArray fifo = QFile::encodeName(path());
    if (::mkfifo(fifo.constData(), 0600) != 0) {
        qFatal("cannot make the trap pipe %s", fifo.constData());
    }
    writer_ = std::thread([this, fifo] {
        // Each open for writing waits for a reader; closing at once gives that reader its end of file.
        for (;;) {
            const int fd = ::open(fifo.constData(), O_WRONLY);
            if (closing_.load()) {
                if (fd >= 0) ::close(fd);
                return;
            }
            if (fd >= 0) {
                ++opened_;
                ::close(fd);
            }
        }
    });
}

TrapFile::~TrapFile() {
    closing_ = true;
    // Our own reader releases the writer's last wait.
    const int fd = ::open(QFile::encodeName(path()).constData(), O_RDONLY | O_NONBLOCK);
    writer_.join();
    if (fd >= 0) ::close(fd);
}

void NotificationService::roundTrip() const {
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(name, QStringLiteral("/org/freedesktop/Notifications"), name,
                                       QStringLiteral("GetCapabilities")));
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
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
