#include "TarvexReader/Accounts/credential_entry_window_controller.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>

#include <utility>

#include "Platform/system_log.h"
#include "TarvexReader/Accounts/create_account_view_controller.h"
#include "TarvexReader/Accounts/sign_in_view_controller.h"
#include "TarvexReader/Credentials/credentials_keeper.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "TarvexReader/Credentials/keychain_error.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "Vorlane/Account/email_with_host.h"
#include "Vorlane/Errors/vorlane_error.h"

namespace TarvexReader {

namespace {

// "<category>: <message>" of the framework's error; "Error" stands in for a missing category, the
// error's description for a missing message.
QString frameworkFailureText(const Platform::Error& error) {
    const std::string category = VorlaneBridge::vxmetaCategory(error).value_or("Error");
    const std::string message = VorlaneBridge::vxmetaMessage(error).value_or(error.localizedDescription());
    return QString::fromStdString(category + ": " + message);
}

QCheckBox* makeCheckBox(const QString& title, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

} // namespace

// The sheet's side of the flows: forwards to the sheet on the main thread while the sheet exists.
class CredentialEntryWindowController::Link : public SignInModuleDelegate, public AccountUpdater {
public:
    explicit Link(CredentialEntryWindowController* sheet) : sheet_(sheet) {}

    void signInSucceeded(const Credential& credential) override {
        onMain([credential](CredentialEntryWindowController* sheet) { sheet->signInSucceeded(credential); });
    }
    void signInFailed(const SignInFailure& failure) override {
        onMain([failure](CredentialEntryWindowController* sheet) { sheet->signInFailed(failure); });
    }
    void updateAccount(const Credential& credential) override {
        onMain([credential](CredentialEntryWindowController* sheet) { sheet->updateAccount(credential); });
    }

private:
    void onMain(std::function<void(CredentialEntryWindowController*)> work) {
        QPointer<CredentialEntryWindowController> sheet = sheet_;
        auto run = [sheet, work = std::move(work)] {
            if (sheet) {
                work(sheet.data());
            }
        };
        if (isMainThread()) {
            run();
        } else {
            runOnMainThreadAsync(std::move(run));
        }
    }

    QPointer<CredentialEntryWindowController> sheet_;
};

CredentialEntryWindowController::CredentialEntryWindowController(QWidget* parent)
    : QDialog(parent), link_(std::make_shared<Link>(this)) {
    setObjectName(QStringLiteral("CredentialEntryWindowController"));
    setWindowTitle(QStringLiteral("Sign In"));
    setWindowModality(Qt::WindowModal);
    signInViewController = new SignInViewController(this);
    createAccountViewController = new CreateAccountViewController(this);
    signInViewController->hide();
    createAccountViewController->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    btnHaveAccount = makeCheckBox(QStringLiteral("I have an account"), "btnHaveAccount", this);
    btnHaveAccount->setChecked(true);
    customView = new QWidget(this);
    customView->setObjectName(QStringLiteral("customView"));
    btnRememberCreds = makeCheckBox(QStringLiteral("Remember my credentials"), "btnRememberCreds", this);

    auto* statusRow = new QHBoxLayout();
    spinner = new QProgressBar(this);
    spinner->setObjectName(QStringLiteral("spinner"));
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedWidth(48);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    keepPlaceWhenHidden(spinner);
    keepPlaceWhenHidden(lblStatus);
    statusRow->addWidget(spinner);
    statusRow->addWidget(lblStatus, 1);

    lblError = new QLabel(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setTextFormat(Qt::PlainText);
    lblError->setWordWrap(true);
    lblError->setStyleSheet(QStringLiteral("color: red;"));
    lblError->setFixedHeight(0);

    auto* buttons = new QHBoxLayout();
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnOK);

    layout->addWidget(btnHaveAccount);
    layout->addWidget(customView);
    layout->addWidget(btnRememberCreds);
    layout->addLayout(statusRow);
    layout->addWidget(lblError);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &CredentialEntryWindowController::onOK);
    connect(btnCancel, &QPushButton::clicked, this, &CredentialEntryWindowController::onCancel);
    connect(btnHaveAccount, &QCheckBox::clicked, this, &CredentialEntryWindowController::onHaveAccountChanged);
    connect(btnRememberCreds, &QCheckBox::clicked, this, &CredentialEntryWindowController::onRememberMeChanged);
    // An error speaks of what was submitted: once the user changes the entry, it goes.
    for (QLineEdit* field : {signInViewController->txtEmail, signInViewController->txtPassword,
                             createAccountViewController->txtName, createAccountViewController->txtEmail,
                             createAccountViewController->txtPassword, createAccountViewController->txtReenterPassword}) {
        connect(field, &QLineEdit::textEdited, this, [this] { showError(std::nullopt); });
    }
}

std::shared_ptr<SignInModuleDelegate> CredentialEntryWindowController::signInDelegate() const {
    return link_;
}

std::shared_ptr<AccountUpdater> CredentialEntryWindowController::accountUpdater() const {
    return link_;
}

void CredentialEntryWindowController::windowDidLoad() {
    showSelectedForm();
    btnRememberCreds->setChecked(userDefaults->boolForKey(kRememberCredentialsKey));
    prefillStoredCredentials();
    fitWindowToForm();
    showStatus(std::nullopt);
    showError(std::nullopt);
}

void CredentialEntryWindowController::showSelectedForm() {
    QWidget* shown = signInViewController;
    QWidget* removed = createAccountViewController;
    if (!btnHaveAccount->isChecked()) {
        std::swap(shown, removed);
    }
    removed->hide();
    removed->setParent(this);
    customView->resize(shown->size());
    shown->setParent(customView);
    shown->move(0, 0);
    shown->show();
    cstCustomView = shown->height();
    customView->setFixedHeight(cstCustomView);
    customView->setMinimumWidth(shown->width());
}

void CredentialEntryWindowController::fitWindowToForm() {
    layout()->activate();
    resize(customView->width() + kWidthAroundForm, customView->height() + kHeightAroundForm);
}

void CredentialEntryWindowController::prefillStoredCredentials() {
    if (!btnHaveAccount->isChecked() || !btnRememberCreds->isChecked()) {
        return;
    }
    try {
        const Credential stored = credentialsKeeper->readStoredCredentials();
        QString entry = QString::fromStdString(stored.username);
        if (stored.host) {
            entry += QString::fromLatin1(VorlaneBridge::Email::separator) + QString::fromStdString(*stored.host);
        }
        signInViewController->txtEmail->setText(entry);
        signInViewController->txtPassword->setText(QString::fromStdString(stored.password));
    } catch (const KeychainError& error) {
        if (error.kind() == KeychainError::Kind::unhandledError) {
            Platform::systemLog("Failed to retrieve credentials. " + error.description());
        }
    }
}

void CredentialEntryWindowController::setControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{btnHaveAccount, signInViewController->txtEmail,
                                                            signInViewController->txtPassword, btnRememberCreds,
                                                            btnCancel, btnOK}) {
        control->setEnabled(enabled);
    }
}

void CredentialEntryWindowController::showStatus(const std::optional<QString>& text) {
    if (text) {
        spinner->show();
        lblStatus->setText(*text);
        lblStatus->show();
    } else {
        lblStatus->clear();
        lblStatus->hide();
        spinner->hide();
    }
}

void CredentialEntryWindowController::showError(const std::optional<QString>& text) {
    const bool wasShown = errorShown_;
    errorShown_ = text.has_value();
    lblError->setText(text.value_or(QString()));
    cstErrorLabel = text ? kErrorLabelHeight : 0;
    if (wasShown == errorShown_) {
        lblError->setFixedHeight(cstErrorLabel);
        return;
    }
    // The sheet's new height is taken before the line changes, which may move the sheet's minimum.
    const int height = this->height() + (errorShown_ ? kErrorLabelHeight : -kErrorLabelHeight);
    lblError->setFixedHeight(cstErrorLabel);
    layout()->activate();
    resize(width(), height);
}

void CredentialEntryWindowController::onOK() {
    setControlsEnabled(false);
    showError(std::nullopt);
    if (btnHaveAccount->isChecked()) {
        showStatus(QStringLiteral("Signing in..."));
        const std::string entry = signInViewController->txtEmail->text().toStdString();
        const std::string password = signInViewController->txtPassword->text().toStdString();
        std::weak_ptr<SignInModuleDelegate> delegate = link_;
        QThreadPool::globalInstance()->start([module = signInController, entry, password, delegate] {
            module->submitSignIn(entry, password, delegate);
        });
        return;
    }
    const QString password = createAccountViewController->txtPassword->text();
    if (password != createAccountViewController->txtReenterPassword->text()) {
        showError(QStringLiteral("Passwords do not match"));
        setControlsEnabled(true);
        return;
    }
    showStatus(QStringLiteral("Creating account..."));
    const std::string name = createAccountViewController->txtName->text().toStdString();
    const std::string entry = createAccountViewController->txtEmail->text().toStdString();
    credentialEntryController->createAccount(entry, name, password.toStdString())
        .then(this, [this] { endSheetWithSuccess(); })
        .onFailed(this, [this](const AccountFailure& failure) { showFailure(failure.failure); });
}

void CredentialEntryWindowController::onCancel() {
    endSheet(0);
}

void CredentialEntryWindowController::reject() {
    if (btnCancel->isEnabled()) {
        onCancel();
    }
}

void CredentialEntryWindowController::onHaveAccountChanged() {
    // The error belongs to the form that was left.
    showError(std::nullopt);
    showSelectedForm();
    prefillStoredCredentials();
    fitWindowToForm();
}

void CredentialEntryWindowController::onRememberMeChanged() {
    const bool remember = btnRememberCreds->isChecked();
    userDefaults->setBool(remember, kRememberCredentialsKey);
    if (!remember) {
        signInViewController->txtPassword->clear();
        try {
            credentialsKeeper->removeStoredCredentials();
        } catch (const KeychainError&) {
            // Nothing the user could act on; the next removal tries again.
        }
    }
}

void CredentialEntryWindowController::signInSucceeded(const Credential& credential) {
    if (btnRememberCreds->isChecked()) {
        try {
            credentialsKeeper->storeCredentials(credential);
        } catch (const KeychainError& error) {
            Platform::systemLog("Unable to store credentials. " + error.description());
        }
    }
    QPointer<CredentialEntryWindowController> self(this);
    runOnMainThreadAsync([self] {
        if (self) {
            self->endSheetWithSuccess();
        }
    });
}

void CredentialEntryWindowController::signInFailed(const SignInFailure& failure) {
    try {
        credentialsKeeper->removeStoredCredentials();
    } catch (const KeychainError& error) {
        Platform::systemLog("Unable to remove credentials. " + error.description());
    }
    QPointer<CredentialEntryWindowController> self(this);
    runOnMainThreadAsync([self, failure] {
        if (self) {
            self->showFailure(failure);
        }
    });
}

void CredentialEntryWindowController::updateAccount(const Credential& /*credential*/) {
    QPointer<CredentialEntryWindowController> self(this);
    runOnMainThreadAsync([self] {
        if (self) {
            self->showStatus(QStringLiteral("Syncing..."));
        }
    });
}

void CredentialEntryWindowController::showFailure(const SignInFailure& failure) {
    setControlsEnabled(true);
    showStatus(std::nullopt);
    signInViewController->txtPassword->clear();
    if (std::holds_alternative<EmailSplitterError>(failure)) {
        // Either form's entry without an e-mail part.
        showError(QStringLiteral("Email contains improper formatting"));
    } else {
        showError(frameworkFailureText(std::get<Platform::Error>(failure)));
    }
}

void CredentialEntryWindowController::endSheetWithSuccess() {
    setControlsEnabled(true);
    showStatus(std::nullopt);
    endSheet(1);
}

void CredentialEntryWindowController::endSheet(int code) {
    if (!ended_) {
        ended_ = true;
        done(code);
    }
    displayer.clear();
    signInController.reset();
    credentialEntryController.reset();
}

} // namespace TarvexReader
