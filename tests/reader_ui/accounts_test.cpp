// The sign-in sheet, the account and verify-email dialogs, the menu after a sign-in and the key
// provider's sign-in on demand, against the test key service over HTTPS and the desktop's real secret
// store (gnome-keyring in the test's own session). Pictures of each dialog go to the test artifacts.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <optional>
#include <thread>

#include "Platform/user_defaults.h"
#include "TarvexReader/Accounts/account_information_controller.h"
#include "TarvexReader/Accounts/account_manager.h"
#include "TarvexReader/Accounts/account_window_controller.h"
#include "TarvexReader/Accounts/create_account_view_controller.h"
#include "TarvexReader/Accounts/credential_entry_window_controller.h"
#include "TarvexReader/Accounts/main_menu_account_updater.h"
#include "TarvexReader/Accounts/modal_querying_kms_provider.h"
#include "TarvexReader/Accounts/sign_in_view_controller.h"
#include "TarvexReader/Credentials/default_server_url.h"
#include "TarvexReader/Credentials/keychain_error.h"
#include "TarvexReader/Passphrase/password_window_controller.h"
#include "TarvexReader/Pipeline/zip_items_processor.h"
#include "TarvexReader/Progress/progress_window_controller.h"
#include "TarvexReader/Credentials/secret_service_keychain.h"
#include "TarvexReader/QtPlatform/application_windows.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "Vorlane/Comm/communicate_with_mds.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "Vorlane/vorlane_facade.h"
#include "reader_ui/reader_test_support.h"
#include "support/key_service.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/comm/last_check_domain.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"

using namespace TarvexReader;

namespace {

constexpr char kEmail[] = "reader@example.test";
constexpr char kPassword[] = "correct horse 1";

std::string jsonText(const Json::Value& value) { return VxMeta::jsonString(value); }

int countOf(const std::vector<Json::Value>& requests) { return static_cast<int>(requests.size()); }

// The application's facade, counting the key requests and those made on the main thread.
class RecordingFacade : public VorlaneBridge::VorlaneFacade {
public:
    using VorlaneBridge::VorlaneFacade::VorlaneFacade;

    std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) override {
        ++asked;
        if (isMainThread()) ++askedOnMainThread;
        return VorlaneBridge::VorlaneFacade::archiveDecryptionPasswordWithJSON(json);
    }

    std::atomic<int> asked{0};
    std::atomic<int> askedOnMainThread{0};
};

} // namespace

class AccountsTest : public QObject {
    Q_OBJECT
private:
    VxMeta::testing::KeyService service_;
    std::shared_ptr<Platform::InMemoryUserDefaults> defaults_ = std::make_shared<Platform::InMemoryUserDefaults>();
    std::shared_ptr<SecretServiceKeychain> keychain_ = std::make_shared<SecretServiceKeychain>();
    std::shared_ptr<KeychainCredentialsKeeper> keeper_;
    std::shared_ptr<RecordingFacade> facade_;
    std::shared_ptr<AccountManager> manager_;
    std::unique_ptr<QMainWindow> mainWindow_;
    QAction* signInItem_ = nullptr;
    QAction* accountItem_ = nullptr;
    Json::Value account_;

    void useTestService() {
        VorlaneBridge::setTransportCaFile(service_.caFile);
        VxMeta::setMds(service_.servers.at(0), service_.servicePublicKey);
    }

    void signOut() {
        VxMeta::logout();
        VxMeta::mdClearAll(false);
        // The service was reset: what the library remembers of its answers is stale.
        VxMeta::lastCheckDomain.clear();
        VxMeta::cacheLoginParameters.clear();
        useTestService();
    }

    Json::Value makeAccount(const std::string& email) {
        Json::Value spec;
        spec["email"] = email;
        spec["password"] = kPassword;
        spec["rounds"] = 1000;
        spec["name"] = "Robin Reader";
        return service_.call("POST", "/accounts", jsonText(spec));
    }

    void verify(const Json::Value& account) {
        service_.call("POST", "/people/" + account["id"].asString() + "/verified", "{}");
    }

    // The stored credential, or the kind of failure of the read.
    std::optional<Credential> stored(KeychainError::Kind* failure = nullptr) {
        try {
            return keeper_->readStoredCredentials();
        } catch (const KeychainError& error) {
            if (failure) *failure = error.kind();
            return std::nullopt;
        }
    }

    int itemsOfClass(KeychainItemClass itemClass) {
        KeychainQuery query;
        query.itemClass = itemClass;
        query.matchLimit = KeychainMatchLimit::all;
        query.returnAttributes = true;
        KeychainResult result;
        return keychain_->copyMatching(query, &result) == kKeychainSuccess ? static_cast<int>(result.items.size()) : 0;
    }

    CredentialEntryWindowController* begin(QFuture<int>* outcome, QWidget* window = nullptr) {
        *outcome = manager_->beginLogIn(window ? window : mainWindow_.get(), defaults_, keeper_, facade_);
        return manager_->credentialEntryWindowController();
    }

    static void click(QWidget* dialog, const char* button) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    }

    static void signIn(CredentialEntryWindowController* sheet, const QString& entry, const QString& password) {
        sheet->signInViewController->txtEmail->setText(entry);
        sheet->signInViewController->txtPassword->setText(password);
        click(sheet, "btnOK");
    }

    // Fills the create-account form and presses OK.
    static void createAccount(CredentialEntryWindowController* sheet, const QString& name, const QString& email,
                              const QString& password, const QString& reentered) {
        CreateAccountViewController* form = sheet->createAccountViewController;
        form->txtName->setText(name);
        form->txtEmail->setText(email);
        form->txtPassword->setText(password);
        form->txtReenterPassword->setText(reentered);
        click(sheet, "btnOK");
    }

    static bool waitForError(CredentialEntryWindowController* sheet) {
        return ReaderTest::waitUntil([sheet] { return !sheet->lblError->text().isEmpty() && sheet->btnOK->isEnabled(); });
    }

    // The sheet's error text, while the sheet exists (an ended sheet is deleted).
    static QString errorOf(const QPointer<CredentialEntryWindowController>& sheet) {
        return sheet ? sheet->lblError->text() : QString();
    }

    static bool allControlsEnabled(CredentialEntryWindowController* sheet) {
        return sheet->btnHaveAccount->isEnabled() && sheet->signInViewController->txtEmail->isEnabled() &&
               sheet->signInViewController->txtPassword->isEnabled() && sheet->btnRememberCreds->isEnabled() &&
               sheet->btnCancel->isEnabled() && sheet->btnOK->isEnabled();
    }

    // Asks the provider for a key on a thread of its own, as an extraction does: `answer` gets the
    // reply and `answered` is set after it. The caller joins the thread.
    static std::thread askFromAnotherThread(const std::shared_ptr<ModalQueryingKMSProvider>& provider,
                                            std::optional<std::string>& answer, std::atomic<bool>& answered) {
        answered = false;
        return std::thread([&provider, &answer, &answered] {
            answer = provider->archiveDecryptionPasswordWithJSON("{}");
            answered = true;
        });
    }

    bool waitForSheet() const {
        return ReaderTest::waitUntil([this] { return manager_->credentialEntryWindowController() != nullptr; });
    }

    bool menuShowsSignedIn() const {
        return !signInItem_->isVisible() && !signInItem_->isEnabled() && accountItem_->isVisible() &&
               accountItem_->isEnabled();
    }

private slots:
    void initTestCase() {
        installQtMainQueue();
        VxMeta::setLogLevel(0);
        service_ = VxMeta::testing::KeyService::fromEnvironment();
        if (service_.servers.empty()) {
            if (qEnvironmentVariable("CI") == QStringLiteral("true")) {
                QFAIL("the test key service is not running (VX_KEYSERVICE_DIR)");
            }
            QSKIP("the test key service is not running (VX_KEYSERVICE_DIR)");
        }
        keeper_ = std::make_shared<KeychainCredentialsKeeper>(keychain_, defaults_);
        facade_ = std::make_shared<RecordingFacade>(
            std::make_shared<VorlaneBridge::VorlaneWrapper>(), defaults_, nullptr, Platform::Bundle{},
            "LIN-00000000-0000-0000-0000-000000000000", "test machine", "6.1");
        manager_ = std::make_shared<AccountManager>();
        mainWindow_ = std::make_unique<QMainWindow>();
        mainWindow_->resize(640, 420);
        QMenu* file = mainWindow_->menuBar()->addMenu(QStringLiteral("&File"));
        signInItem_ = file->addAction(QStringLiteral("Sign In…"));
        signInItem_->setData(MainMenuAccountUpdater::kSignInTag);
        accountItem_ = file->addAction(QStringLiteral("Account…"));
        accountItem_->setData(MainMenuAccountUpdater::kAccountTag);
        mainWindow_->show();
        setApplicationMainWindow(mainWindow_.get());
    }

    void init() {
        service_.reset();
        service_.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
        // The service names itself the key server of the accounts' domain, as a deployment's directory does.
        Json::Value domain;
        domain["domain"] = "example.test";
        domain["url"] = service_.servers.at(0);
        domain["pubkey"] = service_.servicePublicKey;
        service_.call("POST", "/domains", jsonText(domain));
        facade_->asked = 0;
        facade_->askedOnMainThread = 0;
        account_ = makeAccount(kEmail);
        QVERIFY2(account_.isMember("id"), jsonText(account_).c_str());
        signOut();
        keeper_->removeStoredCredentials();
        defaults_->removeObjectForKey(kRememberCredentialsKey);
        signInItem_->setVisible(true);
        signInItem_->setEnabled(true);
        accountItem_->setVisible(false);
        accountItem_->setEnabled(false);
    }

    void cleanup() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
                dialog->done(0);
            }
        }
        ReaderTest::waitUntil([] { return ReaderTest::visibleWindows<QDialog>().isEmpty(); }, 5000);
        // The service logs an exchange just after answering it: let it finish before the next reset.
        QTest::qWait(300);
        QVERIFY(manager_->credentialEntryWindowController() == nullptr);
    }

    // The sheet grows by the error line once, when an error appears, and not again for the next error;
    // an OK while no error shows leaves its height alone.
    void mismatchedPasswordsSendNothing() {
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        QVERIFY(sheet != nullptr && sheet->isVisible());
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-sign-in"));
        sheet->btnHaveAccount->click();
        QVERIFY(!sheet->btnHaveAccount->isChecked());
        QVERIFY(sheet->createAccountViewController->isVisible());
        QVERIFY(!sheet->signInViewController->isVisible());
        QCOMPARE(sheet->cstCustomView, sheet->createAccountViewController->height());
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-create-account"));

        const int before = sheet->height();
        createAccount(sheet, QStringLiteral("New Person"), QStringLiteral("new@example.test"),
                      QStringLiteral("one password"), QStringLiteral("another password"));
        QCOMPARE(sheet->lblError->text(), QStringLiteral("Passwords do not match"));
        QCOMPARE(sheet->cstErrorLabel, CredentialEntryWindowController::kErrorLabelHeight);
        QCOMPARE(sheet->height(), before + CredentialEntryWindowController::kErrorLabelHeight);
        QVERIFY(allControlsEnabled(sheet));
        QVERIFY(sheet->lblStatus->isHidden());
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-passwords-differ"));

        click(sheet, "btnOK");
        QCOMPARE(sheet->height(), before + CredentialEntryWindowController::kErrorLabelHeight);
        QCOMPARE(countOf(service_.requestsTo("ua/createAccount/")), 0);

        // Matching passwords take the error away again: the sheet is back at its height.
        CreateAccountViewController* form = sheet->createAccountViewController;
        form->txtReenterPassword->setText(QStringLiteral("one password"));
        form->txtEmail->setText(QStringLiteral("///keys.example.org"));
        click(sheet, "btnOK");
        QCOMPARE(sheet->height(), before);
        QVERIFY(waitForError(sheet));
        QCOMPARE(sheet->lblError->text(), QStringLiteral("Email contains improper formatting"));
        QCOMPARE(sheet->height(), before + CredentialEntryWindowController::kErrorLabelHeight);
        QCOMPARE(countOf(service_.requestsTo("ua/createAccount/")), 0);

        click(sheet, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }));
        QCOMPARE(outcome.result(), 0);
    }

    // The error line goes, and the sheet is as high as without it, once the user edits a field or
    // switches forms.
    void anEditOrAFormSwitchClearsTheError_data() {
        QTest::addColumn<bool>("signInForm");
        QTest::addColumn<QString>("change");
        QTest::newRow("sign-in e-mail typed") << true << QStringLiteral("txtEmail");
        QTest::newRow("sign-in password typed") << true << QStringLiteral("txtPassword");
        QTest::newRow("to the create-account form") << true << QStringLiteral("switch");
        QTest::newRow("name typed") << false << QStringLiteral("txtName");
        QTest::newRow("second password typed") << false << QStringLiteral("txtReenterPassword");
        QTest::newRow("to the sign-in form") << false << QStringLiteral("switch");
    }

    void anEditOrAFormSwitchClearsTheError() {
        QFETCH(bool, signInForm);
        QFETCH(QString, change);
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        if (!signInForm) {
            sheet->btnHaveAccount->click();
        }
        const int before = sheet->height();
        if (signInForm) {
            signIn(sheet, QStringLiteral("///keys.example.org"), QStringLiteral("anything"));
            QVERIFY(waitForError(sheet));
        } else {
            createAccount(sheet, QStringLiteral("New Person"), QStringLiteral("new@example.test"),
                          QStringLiteral("one password"), QStringLiteral("another password"));
        }
        QVERIFY(!sheet->lblError->text().isEmpty());
        QCOMPARE(sheet->height(), before + CredentialEntryWindowController::kErrorLabelHeight);

        if (change == QStringLiteral("switch")) {
            sheet->btnHaveAccount->click();
            // As high as the same switch makes it without an error.
            const int switched = sheet->height();
            sheet->btnHaveAccount->click();
            sheet->btnHaveAccount->click();
            QCOMPARE(switched, sheet->height());
        } else {
            QWidget* form = signInForm ? static_cast<QWidget*>(sheet->signInViewController)
                                       : static_cast<QWidget*>(sheet->createAccountViewController);
            QTest::keyClicks(form->findChild<QLineEdit*>(change), QStringLiteral("x"));
            QCOMPARE(sheet->height(), before);
        }
        QVERIFY(sheet->lblError->text().isEmpty());
        QCOMPARE(sheet->cstErrorLabel, 0);
        QCOMPARE(sheet->lblError->height(), 0);
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-error-cleared-") +
                                                 QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
        click(sheet, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }));
    }

    // Texts of the key service and of the account are shown as written, never as markup: the sheet's
    // error line, the account and the verify-email dialogs.
    void hostileTextsShowAsWritten() {
        ReaderTest::TrapFile trap;
        const std::string markup = trap.imageMarkup().toStdString() + "<b>bold</b>";
        QFuture<int> outcome;
        QPointer<CredentialEntryWindowController> sheet = begin(&outcome);
        sheet->signInFailed(Platform::Error(VorlaneBridge::VLErrorDomain, 0,
                                            {{VorlaneBridge::VLCategoryKey, "HTTP Error"},
                                             {VorlaneBridge::VLMessageKey, markup}}));
        QVERIFY(waitForError(sheet));
        QCOMPARE(sheet->lblError->text(), QString::fromStdString("HTTP Error: " + markup));
        for (QLabel* label : {sheet->lblError, sheet->lblStatus}) {
            QCOMPARE(label->textFormat(), Qt::PlainText);
            label->sizeHint();
        }
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-hostile-error"));
        click(sheet, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }));

        AccountWindowController account(mainWindow_.get());
        account.name = markup;
        account.email = markup + "@example.test";
        account.server = "https://" + markup + "/mds/";
        account.windowDidLoad();
        for (QLabel* label : {account.lblName, account.lblEmail, account.lblServer}) {
            QCOMPARE(label->textFormat(), Qt::PlainText);
            label->sizeHint();
        }
        QCOMPARE(account.lblName->text(), QString::fromStdString(markup));
        account.show();
        ReaderTest::saveWindowPicture(&account, QStringLiteral("account-hostile-texts"));

        VerifyEmailWindowController panel(mainWindow_.get());
        panel.vorlane = facade_;
        panel.windowDidLoad();
        for (QLabel* label : {panel.lblMessage, panel.lblUpdate}) {
            QCOMPARE(label->textFormat(), Qt::PlainText);
        }
        QCOMPARE(trap.timesOpened(), 0);
    }

    void okWithoutShownErrorKeepsTheHeight() {
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        const int before = sheet->height();
        signIn(sheet, QString::fromLatin1(kEmail), QStringLiteral("wrong password"));
        QCOMPARE(sheet->height(), before);
        QVERIFY(!sheet->btnOK->isEnabled());
        QVERIFY(waitForError(sheet));
        QCOMPARE(sheet->height(), before + CredentialEntryWindowController::kErrorLabelHeight);
        click(sheet, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }));
    }

    // A failure of the service shows its category and message, empties the password, and OK starts a
    // new request, which can succeed.
    void serviceFailureShowsCategoryAndMessage() {
        QFuture<int> outcome;
        QPointer<CredentialEntryWindowController> sheet = begin(&outcome);
        signIn(sheet, QString::fromLatin1(kEmail), QStringLiteral("wrong password"));
        QCOMPARE(sheet->lblStatus->text(), QStringLiteral("Signing in..."));
        QVERIFY(!sheet->btnCancel->isEnabled());
        QVERIFY(waitForError(sheet));
        const QString text = sheet->lblError->text();
        // The library's category of a refused request and the service's refusal.
        QCOMPARE(text, QStringLiteral("HTTP Error: Incorrect Credentials"));
        QVERIFY(sheet->signInViewController->txtPassword->text().isEmpty());
        QVERIFY(sheet->lblStatus->isHidden());
        QVERIFY(allControlsEnabled(sheet));
        QVERIFY(!facade_->userIsAlreadyLoggedIn());
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-service-failure"));

        const int challenges = countOf(service_.requestsTo("challenge"));
        signIn(sheet, QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        QVERIFY2(ReaderTest::waitUntil([&] { return outcome.isFinished(); }, 60000), qPrintable(errorOf(sheet)));
        QCOMPARE(outcome.result(), 1);
        // The service may log an exchange just after answering it.
        QVERIFY(ReaderTest::waitUntil([&] { return countOf(service_.requestsTo("challenge")) > challenges; }, 5000));
        QVERIFY(facade_->userIsAlreadyLoggedIn());
        QVERIFY(menuShowsSignedIn());
        // The account is not verified: the verify-email dialog follows on the main window.
        QVERIFY(ReaderTest::waitUntil([&] { return manager_->emailConfirmationPanel() != nullptr; }));
        auto* panel = manager_->emailConfirmationPanel();
        QCOMPARE(panel->parentWidget(), mainWindow_.get());
        QCOMPARE(panel->lblMessage->text(), QStringLiteral("We've sent an email to reader@example.test."));
        QVERIFY(panel->lblUpdate->text().isEmpty());
        ReaderTest::saveWindowPicture(panel, QStringLiteral("verify-email-after-sign-in"));
    }

    // "///" with no address before it: the sheet says so, nothing is sent, and the remembered sign-in is
    // removed although remembering is off.
    void entryWithoutAddressRemovesStoredCredentials() {
        keeper_->storeCredentials(Credential(kEmail, std::nullopt, kPassword));
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        QVERIFY(!sheet->btnRememberCreds->isChecked());
        signIn(sheet, QStringLiteral("///keys.example.org"), QStringLiteral("anything"));
        QVERIFY(waitForError(sheet));
        QCOMPARE(sheet->lblError->text(), QStringLiteral("Email contains improper formatting"));
        KeychainError::Kind failure = KeychainError::Kind::unhandledError;
        QVERIFY(!stored(&failure));
        QCOMPARE(failure, KeychainError::Kind::noPassword);
        QCOMPARE(countOf(service_.requestsTo("challenge")), 0);
        QVERIFY(facade_->host().rfind(service_.servers.at(0), 0) == 0);
    }

    // Remember on: one credential item (no host item without a server), and the next sheet is filled.
    void rememberedSignInIsStoredOnceAndPrefillsTheNextSheet() {
        defaults_->setBool(true, kRememberCredentialsKey);
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        QVERIFY(sheet->btnRememberCreds->isChecked());
        signIn(sheet, QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }, 60000));
        QCOMPARE(outcome.result(), 1);
        const auto credential = stored();
        QVERIFY(credential.has_value());
        QCOMPARE(*credential, Credential(kEmail, std::nullopt, kPassword));
        QCOMPARE(itemsOfClass(KeychainItemClass::internetPassword), 1);
        QCOMPARE(itemsOfClass(KeychainItemClass::genericPassword), 0);

        QFuture<int> again;
        auto* next = begin(&again);
        QCOMPARE(next->signInViewController->txtEmail->text(), QString::fromLatin1(kEmail));
        QCOMPARE(next->signInViewController->txtPassword->text(), QString::fromLatin1(kPassword));
        click(next, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return again.isFinished(); }));
    }

    void prefillShowsACustomServer() {
        defaults_->setBool(true, kRememberCredentialsKey);
        keeper_->storeCredentials(Credential(kEmail, "https://keys.example.org/mds/", kPassword));
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        QCOMPARE(sheet->signInViewController->txtEmail->text(),
                 QStringLiteral("reader@example.test///https://keys.example.org/mds/"));
        QCOMPARE(sheet->signInViewController->txtPassword->text(), QString::fromLatin1(kPassword));
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-prefilled"));

        // Without an account the create-account form shows, unfilled; back again, the sign-in is filled.
        sheet->btnHaveAccount->click();
        QVERIFY(sheet->createAccountViewController->txtEmail->text().isEmpty());
        sheet->btnHaveAccount->click();
        QCOMPARE(sheet->signInViewController->txtPassword->text(), QString::fromLatin1(kPassword));

        // Switching remembering off forgets the password, the choice and the stored items.
        sheet->btnRememberCreds->click();
        QVERIFY(!defaults_->boolForKey(kRememberCredentialsKey));
        QVERIFY(sheet->signInViewController->txtPassword->text().isEmpty());
        QVERIFY(!stored());
        QCOMPARE(itemsOfClass(KeychainItemClass::internetPassword), 0);
        QCOMPARE(itemsOfClass(KeychainItemClass::genericPassword), 0);
    }

    // A sign-in remembered while the application ran against the test service (started with --server)
    // fills the sheet only when it runs against that service again, never against the built-in one.
    void rememberedSignInFillsTheSheetOnlyForItsServer() {
        defaults_->setBool(true, kRememberCredentialsKey);
        const std::string server = service_.servers.at(0);
        // Whatever happens, the next test finds the built-in server and no item of the test service.
        const std::shared_ptr<void> restore(nullptr, [this, server](void*) {
            setStartedServerURL(server);
            keeper_->removeStoredCredentials();
            setStartedServerURL(std::nullopt);
        });
        setStartedServerURL(server);
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        signIn(sheet, QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }, 60000));
        QCOMPARE(outcome.result(), 1);

        setStartedServerURL(std::nullopt);
        QFuture<int> builtIn;
        auto* other = begin(&builtIn);
        QVERIFY(other->signInViewController->txtEmail->text().isEmpty());
        QVERIFY(other->signInViewController->txtPassword->text().isEmpty());
        ReaderTest::saveWindowPicture(other, QStringLiteral("credential-sheet-other-server-not-filled"));
        click(other, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return builtIn.isFinished(); }));

        setStartedServerURL(server);
        QFuture<int> again;
        auto* same = begin(&again);
        QCOMPARE(same->signInViewController->txtEmail->text(), QString::fromLatin1(kEmail));
        QCOMPARE(same->signInViewController->txtPassword->text(), QString::fromLatin1(kPassword));
        click(same, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return again.isFinished(); }));
    }

    void signInWithoutRememberingStoresNothing() {
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        signIn(sheet, QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }, 60000));
        QCOMPARE(outcome.result(), 1);
        QCOMPARE(itemsOfClass(KeychainItemClass::internetPassword), 0);
        QCOMPARE(itemsOfClass(KeychainItemClass::genericPassword), 0);
    }

    void cancelStoresAndShowsNothing() {
        defaults_->setBool(true, kRememberCredentialsKey);
        QFuture<int> outcome;
        auto* sheet = begin(&outcome);
        sheet->signInViewController->txtEmail->setText(QString::fromLatin1(kEmail));
        sheet->signInViewController->txtPassword->setText(QString::fromLatin1(kPassword));
        click(sheet, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }));
        QCOMPARE(outcome.result(), 0);
        QTest::qWait(100);
        QVERIFY(ReaderTest::visibleWindows<VerifyEmailWindowController>().isEmpty());
        QVERIFY(!stored());
        QVERIFY(!facade_->userIsAlreadyLoggedIn());
        QCOMPARE(countOf(service_.requestsTo("challenge")), 0);
        QVERIFY(!menuShowsSignedIn());
    }

    // The account is made on the service, the sheet ends with 1, the menu follows (told from the worker
    // that created the account, changed on the main thread) and the verify-email dialog asks the user
    // to confirm the new address.
    void createdAccountIsFollowedByTheVerifyEmailSheet() {
        QFuture<int> outcome;
        QPointer<CredentialEntryWindowController> sheet = begin(&outcome);
        sheet->btnHaveAccount->click();
        createAccount(sheet, QStringLiteral("New Person"), QStringLiteral("New.Person@Example.test"),
                      QStringLiteral("a new password"), QStringLiteral("a new password"));
        QCOMPARE(sheet->lblStatus->text(), QStringLiteral("Creating account..."));
        QVERIFY2(ReaderTest::waitUntil([&] { return outcome.isFinished(); }, 60000), qPrintable(errorOf(sheet)));
        QCOMPARE(outcome.result(), 1);
        QCOMPARE(countOf(service_.requestsTo("ua/createAccount/")), 1);
        QVERIFY(menuShowsSignedIn());
        QVERIFY(ReaderTest::waitUntil([] { return !ReaderTest::visibleWindows<VerifyEmailWindowController>().isEmpty(); }));
        auto* panel = ReaderTest::visibleWindows<VerifyEmailWindowController>().front();
        QCOMPARE(panel->lblMessage->text(), QStringLiteral("We've sent an email to new.person@example.test."));
        ReaderTest::saveWindowPicture(panel, QStringLiteral("verify-email-after-account-creation"));
        click(panel, "btnOK");
        QVERIFY(ReaderTest::waitUntil([] { return ReaderTest::visibleWindows<VerifyEmailWindowController>().isEmpty(); }));
    }

    // A second request while the sheet is up (another archive, or the menu) shares that sheet's outcome.
    void secondRequestSharesTheShownSheet() {
        QWidget progress;
        progress.resize(400, 120);
        progress.show();
        QFuture<int> first;
        QFuture<int> second;
        auto* sheet = begin(&first, &progress);
        QCOMPARE(begin(&second), sheet);
        QCOMPARE(ReaderTest::visibleWindows<CredentialEntryWindowController>().size(), 1);
        QCOMPARE(sheet->parentWidget(), &progress);
        signIn(sheet, QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        QVERIFY(ReaderTest::waitUntil([&] { return first.isFinished() && second.isFinished(); }, 60000));
        QCOMPARE(first.result(), 1);
        QCOMPARE(second.result(), 1);
        // After it ended, a request gets a sheet of its own.
        QFuture<int> third;
        auto* next = begin(&third);
        QVERIFY(next != nullptr && next != sheet);
        click(next, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return third.isFinished(); }));
        QCOMPARE(third.result(), 0);
    }

    // Two archives asking for a key while signed out wait on the one sheet, each through its own
    // provider and continuation: neither goes on while the sheet is up; when it ends both do, after
    // Cancel without a key request, after a sign-in of a verified user each with its own request.
    void twoProvidersWaitForTheOneSheet_data() {
        QTest::addColumn<bool>("signsIn");
        QTest::newRow("cancelled") << false;
        QTest::newRow("signed in") << true;
    }

    void twoProvidersWaitForTheOneSheet() {
        QFETCH(bool, signsIn);
        verify(account_);
        auto windowA = std::make_shared<QWidget>();
        auto windowB = std::make_shared<QWidget>();
        windowA->show();
        windowB->show();
        auto providerA = std::make_shared<ModalQueryingKMSProvider>(manager_, windowA, defaults_, keeper_, facade_);
        auto providerB = std::make_shared<ModalQueryingKMSProvider>(manager_, windowB, defaults_, keeper_, facade_);
        const int asked = facade_->asked.load();
        std::atomic<bool> answeredA{false};
        std::atomic<bool> answeredB{false};
        std::optional<std::string> answerA = std::string("untouched");
        std::optional<std::string> answerB = std::string("untouched");
        std::thread extractionA = askFromAnotherThread(providerA, answerA, answeredA);
        QVERIFY(waitForSheet());
        QPointer<CredentialEntryWindowController> sheet = manager_->credentialEntryWindowController();
        std::thread extractionB = askFromAnotherThread(providerB, answerB, answeredB);
        QVERIFY(ReaderTest::waitUntil([&] { return manager_->waitingRequests() == 2; }));
        QTest::qWait(50);
        QVERIFY(!answeredA && !answeredB);
        QCOMPARE(ReaderTest::visibleWindows<CredentialEntryWindowController>().size(), 1);
        QCOMPARE(manager_->credentialEntryWindowController(), sheet.data());

        if (signsIn) {
            signIn(sheet, QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        } else {
            click(sheet, "btnCancel");
        }
        QVERIFY2(ReaderTest::waitUntil([&] { return answeredA && answeredB; }, 60000), qPrintable(errorOf(sheet)));
        extractionA.join();
        extractionB.join();
        QCOMPARE(answerA, std::nullopt);
        QCOMPARE(answerB, std::nullopt);
        QCOMPARE(facade_->asked.load() - asked, signsIn ? 2 : 0);
        QCOMPARE(facade_->askedOnMainThread.load(), 0);
        QCOMPARE(manager_->waitingRequests(), std::size_t{0});
    }

    // A sheet whose window goes away under it settles as cancelled, so no one waits on it for ever.
    void sheetClosedWithItsWindowSettlesAsCancelled() {
        auto* progress = new QWidget();
        progress->show();
        QFuture<int> outcome;
        QVERIFY(begin(&outcome, progress) != nullptr);
        delete progress;
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }));
        QCOMPARE(outcome.result(), 0);
        QVERIFY(manager_->credentialEntryWindowController() == nullptr);
    }

    // Told on a worker thread, the menu changes on the main thread only.
    void menuChangesOnTheMainThread() {
        MainMenuAccountUpdater updater(mainWindow_->menuBar());
        std::thread worker([&] { updater.updateAccount(Credential(kEmail, std::nullopt, kPassword)); });
        worker.join();
        QVERIFY(!menuShowsSignedIn());
        QVERIFY(ReaderTest::waitUntil([&] { return menuShowsSignedIn(); }));
        updater.updateAccount(Credential(kEmail, std::nullopt, kPassword));
        QVERIFY(menuShowsSignedIn());
    }

    void accountSheetShowsOnceAndReadsTheFacadeAgain() {
        AccountInformationController information(facade_);
        // Nobody signed in: not verified, no address.
        information.showAccountInformation(mainWindow_.get());
        QCOMPARE(ReaderTest::visibleWindows<VerifyEmailWindowController>().size(), 1);
        QCOMPARE(information.emailVerificationWindowController()->lblMessage->text(),
                 QStringLiteral("We've sent an email to ."));
        information.showAccountInformation(mainWindow_.get());
        QCOMPARE(ReaderTest::visibleWindows<VerifyEmailWindowController>().size(), 1);
        ReaderTest::saveWindowPicture(information.emailVerificationWindowController(), QStringLiteral("verify-email"));
        click(information.emailVerificationWindowController(), "btnOK");
        QVERIFY(ReaderTest::waitUntil([&] { return information.emailVerificationWindowController() == nullptr; }));

        verify(account_);
        QFuture<int> outcome;
        signIn(begin(&outcome), QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        QVERIFY(ReaderTest::waitUntil([&] { return outcome.isFinished(); }, 60000));
        QCOMPARE(outcome.result(), 1);
        QVERIFY(facade_->userIsVerified());
        QTest::qWait(100);
        QVERIFY(ReaderTest::visibleWindows<VerifyEmailWindowController>().isEmpty());

        information.showAccountInformation(mainWindow_.get());
        information.showAccountInformation(mainWindow_.get());
        QCOMPARE(ReaderTest::visibleWindows<AccountWindowController>().size(), 1);
        AccountWindowController* sheet = information.accountWindowController();
        QCOMPARE(sheet->lblName->text(), QStringLiteral("Robin Reader"));
        QCOMPARE(sheet->lblEmail->text(), QString::fromLatin1(kEmail));
        QCOMPARE(sheet->lblServer->text(), QStringLiteral("Connected to ") + QString::fromStdString(facade_->host()));
        QVERIFY(sheet->lblServer->text().contains(QString::fromStdString(service_.servers.at(0))));
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("account"));
        QSignalSpy finished(sheet, &QDialog::finished);
        click(sheet, "btnOK");
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.front().front().toInt(), 1);
        QVERIFY(ReaderTest::waitUntil([&] { return information.accountWindowController() == nullptr; }));
        information.showAccountInformation(mainWindow_.get());
        QVERIFY(information.accountWindowController() != nullptr);
    }

    // Signed out, a key request on the extraction thread shows the sheet on the archive's window and
    // waits; Cancel answers no password without a key request. Asked on the main thread it answers at
    // once, without a sheet.
    void keyProviderSignsInOnDemand() {
        auto progress = std::make_shared<QWidget>();
        progress->resize(400, 120);
        progress->show();
        auto provider = std::make_shared<ModalQueryingKMSProvider>(manager_, progress, defaults_, keeper_, facade_);
        QCOMPARE(provider->archiveDecryptionPasswordWithJSON("{}"), std::nullopt);
        QVERIFY(manager_->credentialEntryWindowController() == nullptr);

        std::atomic<bool> answered{false};
        std::optional<std::string> answer = std::string("untouched");
        std::thread extraction = askFromAnotherThread(provider, answer, answered);
        QVERIFY(waitForSheet());
        auto* sheet = manager_->credentialEntryWindowController();
        QCOMPARE(sheet->parentWidget(), progress.get());
        QTest::qWait(50);
        QVERIFY(!answered);
        click(sheet, "btnCancel");
        QVERIFY(ReaderTest::waitUntil([&] { return answered.load(); }));
        extraction.join();
        QCOMPARE(answer, std::nullopt);
        QCOMPARE(countOf(service_.requestsTo("challenge")), 0);
        QCOMPARE(facade_->asked.load(), 0);

        // Again: a new sheet for the new request; this time the user signs in. The key request that
        // follows is made on the asking thread, never on the main thread.
        verify(account_);
        std::thread retry = askFromAnotherThread(provider, answer, answered);
        QVERIFY(waitForSheet());
        signIn(manager_->credentialEntryWindowController(), QString::fromLatin1(kEmail), QString::fromLatin1(kPassword));
        QVERIFY(ReaderTest::waitUntil([&] { return answered.load(); }, 60000));
        retry.join();
        QVERIFY(facade_->userIsAlreadyLoggedIn());
        QCOMPARE(facade_->asked.load(), 1);
        QCOMPARE(facade_->askedOnMainThread.load(), 0);
        QVERIFY(ReaderTest::visibleWindows<VerifyEmailWindowController>().isEmpty());

        // Signed in, the request goes to the facade at once, without a sheet.
        std::thread signedIn([&] { provider->archiveDecryptionPasswordWithJSON("{}"); });
        signedIn.join();
        QCOMPARE(facade_->asked.load(), 2);
        QVERIFY(manager_->credentialEntryWindowController() == nullptr);
    }

    // An account created in the sheet is not verified yet: no key request, and the verify-email dialog.
    void keyProviderAfterAccountCreationAsksNothing() {
        auto progress = std::make_shared<QWidget>();
        progress->show();
        auto provider = std::make_shared<ModalQueryingKMSProvider>(manager_, progress, defaults_, keeper_, facade_);
        const int asked = facade_->asked.load();
        std::atomic<bool> answered{false};
        std::optional<std::string> answer = std::string("untouched");
        std::thread extraction = askFromAnotherThread(provider, answer, answered);
        QVERIFY(waitForSheet());
        auto* sheet = manager_->credentialEntryWindowController();
        sheet->btnHaveAccount->click();
        createAccount(sheet, QStringLiteral("Another Person"), QStringLiteral("another@example.test"),
                      QStringLiteral("a new password"), QStringLiteral("a new password"));
        QVERIFY(ReaderTest::waitUntil([&] { return answered.load(); }, 60000));
        extraction.join();
        QCOMPARE(answer, std::nullopt);
        QCOMPARE(facade_->asked.load(), asked);
        QVERIFY(ReaderTest::waitUntil([] { return !ReaderTest::visibleWindows<VerifyEmailWindowController>().isEmpty(); }));
    }
    // End to end: an archive whose entry is protected by A's managed key (the framework made the key,
    // gave B access and made the archive password and its metadata; the fixture writer made the
    // archive) is dropped while nobody is signed in; the sign-in sheet appears on its progress window;
    // B signs in; the entry is extracted unchanged, without the passphrase sheet, and B's sign-in is in
    // the secret store exactly when remembering was on.
    void managedKeyArchiveAsksForTheSignIn_data() {
        QTest::addColumn<bool>("remember");
        QTest::newRow("remembered") << true;
        QTest::newRow("not remembered") << false;
    }

    void managedKeyArchiveAsksForTheSignIn() {
        QFETCH(bool, remember);
        ReaderTest::PrivateHome home;
        // Each account sees only its own records and those shared with it.
        service_.call("POST", "/views", "{\"enabled\":true}");
        const std::string owner = "owner@example.test";
        const std::string reader = "b@example.test";
        service_.publishedPerson(owner, kPassword);
        service_.publishedPerson(reader, kPassword);

        // A, on a device of its own, makes the key, gives B access and asks for an archive password.
        QProcess maker;
        maker.start(QStringLiteral(VX_MANAGED_KEY_TOOL),
                    {QStringLiteral("--server"), QString::fromStdString(service_.servers.at(0)),
                     QStringLiteral("--server-key"), QString::fromStdString(service_.servicePublicKey),
                     QStringLiteral("--ca-file"), QString::fromStdString(service_.caFile),
                     QStringLiteral("--owner"), QString::fromStdString(owner),
                     QStringLiteral("--owner-password"), QString::fromLatin1(kPassword),
                     QStringLiteral("--reader"), QString::fromStdString(reader),
                     QStringLiteral("--key-name"), QStringLiteral("Plans")});
        QVERIFY(maker.waitForFinished(120000));
        QVERIFY2(maker.exitStatus() == QProcess::NormalExit && maker.exitCode() == 0,
                 maker.readAllStandardError().constData());
        const std::string output = maker.readAllStandardOutput().toStdString();
        const Json::Value made = VxMeta::parseJson(output);
        const std::string password = made["password"].asString();
        const std::string metadata = made["key_record"].asString();
        QVERIFY2(!password.empty(), output.c_str());
        QVERIFY2(VxMeta::parseJson(metadata)["assets"][0].isMember(made["urn"].asString() + ":1"), metadata.c_str());
        QVERIFY(!facade_->userIsAlreadyLoggedIn());

        const QByteArray contents = "The plans, byte for byte: \x01\x02\xff\n";
        Json::Value entry;
        entry["name"] = "Plans/plans.txt";
        entry["hex"] = contents.toHex().toStdString();
        entry["encryption"] = "aes";
        entry["password"] = password;
        entry["key_record"] = metadata;
        Json::Value description;
        description["entries"].append(entry);
        const QString files = home.path(QStringLiteral("files"));
        ReaderTest::writeFiles(files, {{QStringLiteral("description.json"), QByteArray::fromStdString(jsonText(description))}});
        QCOMPARE(ReaderTest::run(files, QStringLiteral("python3"),
                                 {QStringLiteral(VX_SOURCE_DIR "/tests/zentile/fixtures/make_archives.py"),
                                  QStringLiteral("spec"), QStringLiteral("description.json"), QStringLiteral("Plans.zip")}),
                 0);

        defaults_->setBool(remember, kRememberCredentialsKey);
        auto processor = std::make_shared<ZIPItemsProcessor>(manager_, defaults_, keeper_, facade_);
        processor->processArchiveURL(QUrl::fromLocalFile(files + QStringLiteral("/Plans.zip")));
        QVERIFY(ReaderTest::waitUntil([&] { return manager_->credentialEntryWindowController() != nullptr; }, 60000));
        QPointer<CredentialEntryWindowController> sheet = manager_->credentialEntryWindowController();
        QVERIFY(qobject_cast<ProgressWindowController*>(sheet->parentWidget()) != nullptr);
        QCOMPARE(sheet->btnRememberCreds->isChecked(), remember);
        ReaderTest::saveWindowPicture(sheet, QStringLiteral("credential-sheet-on-demand"));
        signIn(sheet, QString::fromStdString(reader), QString::fromLatin1(kPassword));
        QVERIFY2(ReaderTest::waitUntil([&] { return processor->processors().empty(); }, 120000), qPrintable(errorOf(sheet)));

        QFile extracted(home.desktop() + QStringLiteral("/Plans/plans.txt"));
        QVERIFY2(extracted.open(QIODevice::ReadOnly), qPrintable(extracted.fileName()));
        QCOMPARE(extracted.readAll(), contents);
        QCOMPARE(QString::fromStdString(facade_->email()), QString::fromStdString(reader));
        QVERIFY(ReaderTest::visibleWindows<PasswordWindowController>().isEmpty());
        QVERIFY(facade_->asked.load() >= 1);
        QCOMPARE(facade_->askedOnMainThread.load(), 0);
        if (remember) {
            const auto kept = stored();
            QVERIFY(kept.has_value());
            QCOMPARE(*kept, Credential(reader, std::nullopt, kPassword));
        } else {
            QVERIFY(!stored());
            QCOMPARE(itemsOfClass(KeychainItemClass::internetPassword), 0);
        }
    }

};

QTEST_MAIN(AccountsTest)
#include "accounts_test.moc"
