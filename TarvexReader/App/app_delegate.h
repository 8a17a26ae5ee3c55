// The application's composition root: it creates the framework facade and the long-lived objects,
// runs the agreement gate, opens the main window with its menus and hands chosen archives to the
// items processor.
#pragma once

#include <chrono>
#include <memory>

#include <QObject>
#include <QPointer>

#include "Platform/user_defaults.h"
#include "Platform/user_notification.h"
#include "TarvexReader/Accounts/account_information_controller.h"
#include "TarvexReader/App/main_window_controller.h"
#include "TarvexReader/Accounts/account_manager.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "TarvexReader/Drop/open_widget.h"
#include "TarvexReader/Pipeline/zip_items_processor.h"
#include "Vorlane/vorlane_facade.h"

namespace TarvexReader {

class AppDelegate : public QObject,
                    public Platform::UserNotificationCenterDelegate,
                    public OpenWidgetProtocol,
                    public std::enable_shared_from_this<AppDelegate> {
    Q_OBJECT
public:
    static constexpr char kEULAKey[] = "EULA";
    // The help page of this application.
    static constexpr char kHelpAddress[] = "https://www.tarvex.example/reader/help/";
    // How long quitting waits for the cancelled extractions to clean up.
    static constexpr std::chrono::seconds kQuitBound{20};

    // Creates the facade over this machine's identity; stops the program when the machine has no
    // identity.
    explicit AppDelegate(std::shared_ptr<Platform::UserDefaults> userDefaults);

    // The agreement gate, then the main window, whose closing (File > Quit, the close box) quits
    // through `terminate`. False when the agreement was declined (the application then quits).
    bool applicationDidFinishLaunching();
    void applicationWillTerminate() {}

    bool shouldPresentNotification(const Platform::UserNotification& notification) override;
    void didChooseURLs(const QList<QUrl>& urls) override;

    QMainWindow* window() const { return window_; }
    const std::shared_ptr<ZIPItemsProcessor>& itemsProcessor() const { return itemsProcessor_; }
    const std::shared_ptr<VorlaneBridge::VorlaneFacade>& vorlane() const { return vorlane_; }

public slots:
    void openItem();
    void revertToFirst();
    void logIn();
    void showAccount();
    void showHelp();
    // Quits: cancels every extraction and lets each remove what it made (within `kQuitBound`), then
    // ends the event loop. Extractions still running after that are left to the program entry.
    void terminate();

private:
    void installMainMenu(QMainWindow* window);

    std::shared_ptr<AccountManager> accountManager_;
    std::unique_ptr<AccountInformationController> accountInformationController_;
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
    std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper_;
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane_;
    QPointer<QMainWindow> window_;
    std::shared_ptr<ZIPItemsProcessor> itemsProcessor_;
    std::unique_ptr<OpenWidget> openWidget_;
};

} // namespace TarvexReader
