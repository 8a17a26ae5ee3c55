// The program entry: the application object, the main queue, notifications and user defaults of this
// platform, then the application delegate. Three options point the application at a key service other
// than the default one (a local test service, as `scripts/demo` starts): --server URL, --server-key
// (its public key, "V2-" text) and --ca-file (the certificate authorities to trust, PEM).
#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Platform/user_notification.h"
#include "TarvexReader/App/app_delegate.h"
#include "TarvexReader/Credentials/default_server_url.h"
#include "TarvexReader/QtPlatform/dbus_user_notification_center.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "TarvexReader/QtPlatform/settings_user_defaults.h"
#include "Vorlane/Comm/communicate_with_mds.h"
#include "vxmeta/access/server_settings.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationName(QStringLiteral("Tarvex Reader"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("tarvex-reader"));
    // Closing the main window quits, whatever progress windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Extracts ZIP archives, protected ones included."));
    options.addHelpOption();
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("The key service to use."), QStringLiteral("url"));
    const QCommandLineOption serverKey(QStringLiteral("server-key"), QStringLiteral("The key service's public key."),
                                       QStringLiteral("key"));
    const QCommandLineOption caFile(QStringLiteral("ca-file"), QStringLiteral("Certificate authorities to trust (PEM)."),
                                    QStringLiteral("file"));
    options.addOptions({server, serverKey, caFile});
    options.process(app);
    TarvexReader::installQtMainQueue();
    Platform::setDefaultUserNotificationCenter(std::make_shared<TarvexReader::DBusUserNotificationCenter>());

    auto delegate = std::make_shared<TarvexReader::AppDelegate>(TarvexReader::SettingsUserDefaults::standardUserDefaults());
    if (options.isSet(caFile)) {
        VorlaneBridge::setTransportCaFile(options.value(caFile).toStdString());
    }
    if (options.isSet(server)) {
        VxMeta::setMds(options.value(server).toStdString(), options.value(serverKey).toStdString());
        // Remembered sign-ins without a server of their own belong to this server, not the built-in one.
        TarvexReader::setStartedServerURL(options.value(server).toStdString());
    }
    if (!delegate->applicationDidFinishLaunching()) {
        return 0;
    }
    // Closing the main window (File > Quit, its close box) ends the loop once every extraction was
    // cancelled and cleaned up (AppDelegate::terminate).
    const int status = QApplication::exec();
    delegate->applicationWillTerminate();
    if (!delegate->itemsProcessor()->processors().empty()) {
        // Extractions that did not end within the bound, still waiting for the main thread, cannot
        // finish without it: leave at once.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
