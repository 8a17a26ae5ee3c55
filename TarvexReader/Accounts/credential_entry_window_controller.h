// The credential sheet: a sign-in form or a create-account form (the "I have an account" check box
// switches), the remember-credentials choice (user default "kRememberCredentials"), the sign-in form
// filled from the credential store when remembering, a status line with a spinner and an error line.
// OK signs in or creates the account (off the main thread); the sheet ends with 1 after a success and 0
// after Cancel. The account manager sets the fields before `windowDidLoad`.
//
// The error line takes 51 points of the sheet's height while it shows an error: the sheet grows when an
// error appears and shrinks when it goes, and keeps its size while the error line stays as it is. The
// error goes when the user edits a field or switches forms.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QDialog>
#include <QPointer>

#include "Platform/user_defaults.h"
#include "TarvexReader/Accounts/account_failure.h"
#include "TarvexReader/Accounts/account_updater.h"
#include "TarvexReader/Accounts/credential_entry_controller.h"
#include "TarvexReader/Accounts/sign_in_module.h"
#include "TarvexReader/Credentials/credentials_keeper.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace TarvexReader {

class CreateAccountViewController;
class SignInViewController;

class CredentialEntryWindowController : public QDialog {
    Q_OBJECT
public:
    static constexpr int kErrorLabelHeight = 51;
    static constexpr int kWidthAroundForm = 40;
    static constexpr int kHeightAroundForm = 103;

    explicit CredentialEntryWindowController(QWidget* parent);

    void windowDidLoad();

    // What the sign-in and account-creation flows tell the sheet: the sheet's own link, which they hold
    // without keeping the sheet alive. Its calls may come from any thread; the sheet's work runs on the
    // main thread.
    std::shared_ptr<SignInModuleDelegate> signInDelegate() const;
    std::shared_ptr<AccountUpdater> accountUpdater() const;

    // Main thread.
    void signInSucceeded(const Credential& credential);
    void signInFailed(const SignInFailure& failure);
    void updateAccount(const Credential& credential);

    // The outlets.
    QCheckBox* btnHaveAccount = nullptr;
    QWidget* customView = nullptr;
    int cstCustomView = 0;
    QCheckBox* btnRememberCreds = nullptr;
    QProgressBar* spinner = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblError = nullptr;
    int cstErrorLabel = 0;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnOK = nullptr;

    SignInViewController* signInViewController = nullptr;
    CreateAccountViewController* createAccountViewController = nullptr;

    std::shared_ptr<Platform::UserDefaults> userDefaults;
    std::shared_ptr<CredentialsKeeper> credentialsKeeper;
    std::shared_ptr<SignInModule> signInController;
    std::shared_ptr<CredentialEntryController> credentialEntryController;
    QPointer<QWidget> displayer;

public slots:
    void onOK();
    void onCancel();
    void onHaveAccountChanged();
    void onRememberMeChanged();

protected:
    // Escape and the close box cancel, while Cancel can be pressed.
    void reject() override;

private:
    class Link;

    void showSelectedForm();
    void fitWindowToForm();
    void prefillStoredCredentials();
    void setControlsEnabled(bool enabled);
    void showStatus(const std::optional<QString>& text);
    void showError(const std::optional<QString>& text);
    void endSheetWithSuccess();
    // A failed sign-in or account creation: the controls back, the password cleared, the error shown.
    void showFailure(const SignInFailure& failure);
    void endSheet(int code);

    std::shared_ptr<Link> link_;
    bool errorShown_ = false;
    bool ended_ = false;
};

} // namespace TarvexReader
