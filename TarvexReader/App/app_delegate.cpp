#include "TarvexReader/App/app_delegate.h"

#include "TarvexReader/Credentials/secret_service_keychain.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenuBar>
#include <QThread>

#include <cstdio>
#include <cstdlib>

#include "Platform/bundle.h"
#include "Platform/device_identity.h"
#include "Platform/system_log.h"
#include "TarvexReader/Accounts/main_menu_account_updater.h"
#include "TarvexReader/App/eula_window_controller.h"
#include "TarvexReader/App/null_vl_storage.h"
#include "TarvexReader/QtPlatform/application_windows.h"

namespace TarvexReader {

namespace {

[[noreturn]] void stopStartUp(const char* reason) {
    std::fprintf(stderr, "Tarvex Reader cannot start: %s\n", reason);
    std::exit(EXIT_FAILURE);
}

Platform::Bundle mainBundle() {
    Platform::Bundle bundle;
    bundle.infoDictionary[VorlaneBridge::kMetaclientAppName] = QCoreApplication::applicationName().toStdString();
    bundle.infoDictionary["CFBundleShortVersionString"] = QCoreApplication::applicationVersion().toStdString();
    return bundle;
}

std::shared_ptr<VorlaneBridge::VorlaneFacade> makeFacade(const std::shared_ptr<Platform::UserDefaults>& userDefaults) {
    std::optional<std::string> uuid = Platform::machineUUID();
    if (!uuid) {
        stopStartUp("this machine has no machine id (/etc/machine-id)");
    }
    return std::make_shared<VorlaneBridge::VorlaneFacade>(
        std::make_shared<VorlaneBridge::VorlaneWrapper>(), userDefaults, std::make_shared<NullVLStorage>(),
        mainBundle(), Platform::deviceIdentifier(*uuid), Platform::hostName(), Platform::systemVersion());
}

} // namespace

AppDelegate::AppDelegate(std::shared_ptr<Platform::UserDefaults> userDefaults)
    : accountManager_(std::make_shared<AccountManager>()), userDefaults_(std::move(userDefaults)),
      credentialsKeeper_(std::make_shared<KeychainCredentialsKeeper>(std::make_shared<SecretServiceKeychain>(), userDefaults_)),
      vorlane_(makeFacade(userDefaults_)) {}

bool AppDelegate::applicationDidFinishLaunching() {
    if (!userDefaults_->boolForKey(kEULAKey)) {
        EULAWindowController agreement;
        if (!agreement.windowDidLoad()) {
            stopStartUp("the agreement text is missing");
        }
        if (agreement.exec() != 1) {
            return false;
        }
        userDefaults_->setBool(true, kEULAKey);
    }
    if (auto center = Platform::defaultUserNotificationCenter()) {
        center->setDelegate(shared_from_this());
    }
    auto* controller = new MainWindowController();
    controller->setAttribute(Qt::WA_DeleteOnClose);
    accountInformationController_ = std::make_unique<AccountInformationController>(vorlane_);
    itemsProcessor_ = std::make_shared<ZIPItemsProcessor>(accountManager_, userDefaults_, credentialsKeeper_, vorlane_);
    controller->setItemsProcessor(itemsProcessor_);
    controller->windowDidLoad();
    installMainMenu(controller);
    controller->show();
    controller->activateWindow();
    controller->raise();
    window_ = controller;
    setApplicationMainWindow(controller);
    // Queued: the window finishes closing before the extractions are wound down.
    connect(controller, &MainWindowController::closed, this, &AppDelegate::terminate, Qt::QueuedConnection);
    return true;
}

void AppDelegate::installMainMenu(QMainWindow* window) {
    QMenu* file = window->menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(QStringLiteral("&Open…"), this, &AppDelegate::openItem);
    open->setObjectName(QStringLiteral("openItem"));
    open->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction* signIn = file->addAction(QStringLiteral("Sign In…"), this, &AppDelegate::logIn);
    signIn->setObjectName(QStringLiteral("logIn"));
    signIn->setData(MainMenuAccountUpdater::kSignInTag);
    QAction* account = file->addAction(QStringLiteral("Account…"), this, &AppDelegate::showAccount);
    account->setObjectName(QStringLiteral("showAccount"));
    account->setData(MainMenuAccountUpdater::kAccountTag);
    account->setVisible(false);
    account->setEnabled(false);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), window, &QWidget::close);
    quit->setObjectName(QStringLiteral("quit"));
    quit->setShortcut(QKeySequence::Quit);

    QMenu* help = window->menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* helpPage = help->addAction(QStringLiteral("Tarvex Reader Help"), this, &AppDelegate::showHelp);
    helpPage->setObjectName(QStringLiteral("showHelp"));
    QAction* revert = help->addAction(QStringLiteral("Show the Agreement at Next Launch"), this, &AppDelegate::revertToFirst);
    revert->setObjectName(QStringLiteral("revertToFirst"));
}

bool AppDelegate::shouldPresentNotification(const Platform::UserNotification& /*notification*/) {
    return true;
}

void AppDelegate::didChooseURLs(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        itemsProcessor_->processArchiveURL(url);
    }
    openWidget_.reset();
}

void AppDelegate::openItem() {
    if (!window_) {
        return;
    }
    openWidget_ = std::make_unique<OpenWidget>(this);
    openWidget_->showOpenPanel(window_);
}

void AppDelegate::revertToFirst() {
    userDefaults_->setBool(false, kEULAKey);
}

void AppDelegate::logIn() {
    if (!window_ || !window_->isVisible()) {
        return;
    }
    accountManager_->beginLogIn(window_, userDefaults_, credentialsKeeper_, vorlane_);
}

void AppDelegate::showAccount() {
    if (!window_ || !window_->isVisible()) {
        return;
    }
    accountInformationController_->showAccountInformation(window_);
}

void AppDelegate::terminate() {
    // Not QCoreApplication::quit(): that asks every window to close, and a progress window refuses
    // (its close box cancels instead), which would leave the application running without a window.
    if (!itemsProcessor_->cancelAll(kQuitBound)) {
        Platform::systemLog("Quitting with extractions that did not end in time");
    }
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

void AppDelegate::showHelp() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHelpAddress)));
}

} // namespace TarvexReader
