// The program entry: the application object, the main queue, notifications and user defaults of this
// platform, then the application delegate.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Platform/user_notification.h"
#include "TarvexReader/App/app_delegate.h"
#include "TarvexReader/QtPlatform/dbus_user_notification_center.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "TarvexReader/QtPlatform/settings_user_defaults.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationName(QStringLiteral("Tarvex Reader"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("tarvex-reader"));
    // Closing the main window quits, whatever progress windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    TarvexReader::installQtMainQueue();
    Platform::setDefaultUserNotificationCenter(std::make_shared<TarvexReader::DBusUserNotificationCenter>());

    auto delegate = std::make_shared<TarvexReader::AppDelegate>(TarvexReader::SettingsUserDefaults::standardUserDefaults());
    if (!delegate->applicationDidFinishLaunching()) {
        return 0;
    }
    auto* window = qobject_cast<TarvexReader::MainWindowController*>(delegate->window());
    QObject::connect(window, &TarvexReader::MainWindowController::closed, &app, &QApplication::quit);
    const int status = QApplication::exec();
    delegate->applicationWillTerminate();
    if (!delegate->itemsProcessor()->processors().empty()) {
        // Extractions still waiting for the main thread cannot finish without it: leave at once.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
