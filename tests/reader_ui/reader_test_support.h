// Helpers of the application's window tests: a private home with its own XDG Desktop and settings,
// archives made by zip and 7z, pictures of windows, waiting while the event loop runs, and the test
// notification service.
#pragma once

#include <QDir>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace ReaderTest {

// Saves a picture of the window as test-artifacts/<name>.png.
void saveWindowPicture(QWidget* window, const QString& name);

// Runs the event loop until `done` or `timeoutMs`; whether `done` came true.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// A home folder of its own: HOME, XDG_CONFIG_HOME and the XDG Desktop folder (named "Work Desk", as
// user-dirs.dirs says), created or not.
class PrivateHome {
public:
    explicit PrivateHome(bool createDesktop = true);
    QString home() const { return dir_.path(); }
    QString desktop() const { return dir_.path() + QStringLiteral("/Work Desk"); }
    QString path(const QString& relative) const { return dir_.path() + QLatin1Char('/') + relative; }

private:
    QTemporaryDir dir_;
};

// Runs a program in `folder`; its exit code (-1 when it did not run).
int run(const QString& folder, const QString& program, const QStringList& arguments);
// Writes the files (relative path -> content) below `folder`.
void writeFiles(const QString& folder, const QList<std::pair<QString, QByteArray>>& files);

// The top-level widgets of type T that are shown.
template <typename T>
QList<T*> visibleWindows();

// The test notification service, started on the session bus for the life of the object, reporting
// the capabilities given beside "body".
class NotificationService {
public:
    explicit NotificationService(const QStringList& capabilities = {});
    ~NotificationService();
    bool started() const { return started_; }
    // The calls recorded so far.
    QList<QJsonObject> calls() const;
    // Returns once the answers to every call made so far have reached this process (the service
    // answers in order); the event loop then hands them to their watchers.
    void roundTrip() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    bool started_ = false;
};

// A named pipe that must never be read: a name made of `imageMarkup()`, shown as rich text, makes the
// main thread open it (and, with nobody writing, wait there for ever). A thread of the trap stands
// ready to write, so an opening reader is counted and released at once instead of blocking the test.
class TrapFile {
public:
    TrapFile();
    ~TrapFile();
    QString path() const { return dir_.path() + QStringLiteral("/trap"); }
    // An image reference to the pipe, as a hostile archive or server would name it.
    QString imageMarkup() const { return QStringLiteral("<img src=\"") + path() + QStringLiteral("\">"); }
    // How often something opened the pipe for reading.
    int timesOpened() const { return opened_.load(); }

private:
    QTemporaryDir dir_;
    std::atomic<int> opened_{0};
    std::atomic<bool> closing_{false};
    std::thread writer_;
};

} // namespace ReaderTest

#include <QApplication>

template <typename T>
QList<T*> ReaderTest::visibleWindows() {
    QList<T*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* typed = qobject_cast<T*>(widget); typed != nullptr && typed->isVisible()) {
            found.append(typed);
        }
    }
    return found;
}
