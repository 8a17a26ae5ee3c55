#include "TarvexReader/Passphrase/password_window_controller.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace TarvexReader {

namespace {
QPushButton* makeButton(const QString& title, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}
} // namespace

PasswordWindowController::PasswordWindowController(std::optional<std::string> filePath, std::uint32_t priorAttempts,
                                                   GlobalPreferences preferences, QWidget* parent)
    : QDialog(parent), filePath_(std::move(filePath)), priorAttempts_(priorAttempts), preferences_(preferences) {
    setObjectName(QStringLiteral("PasswordWindowController"));
    setWindowTitle(QStringLiteral("Passphrase"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    txtStatement = new QLabel(QStringLiteral("Please enter the passphrase to decrypt this file"), this);
    txtStatement->setObjectName(QStringLiteral("txtStatement"));
    txtStatement->setTextFormat(Qt::PlainText);
    txtFilePath = new QLabel(this);
    txtFilePath->setObjectName(QStringLiteral("txtFilePath"));
    txtFilePath->setTextFormat(Qt::PlainText);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    layout->addWidget(txtStatement);
    layout->addWidget(txtFilePath);
    layout->addWidget(txtPassword);

    auto* buttons = new QHBoxLayout();
    QPushButton* skipAll = makeButton(QStringLiteral("Skip All"), QStringLiteral("btnSkipAll"), this);
    QPushButton* skip = makeButton(QStringLiteral("Skip"), QStringLiteral("btnSkip"), this);
    QPushButton* cancel = makeButton(QStringLiteral("Cancel"), QStringLiteral("btnCancel"), this);
    QPushButton* ok = makeButton(QStringLiteral("OK"), QStringLiteral("btnOK"), this);
    ok->setDefault(true);
    buttons->addWidget(skipAll);
    buttons->addWidget(skip);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &PasswordWindowController::onOK);
    connect(skip, &QPushButton::clicked, this, &PasswordWindowController::onSkip);
    connect(skipAll, &QPushButton::clicked, this, &PasswordWindowController::onSkipAll);
    connect(cancel, &QPushButton::clicked, this, &PasswordWindowController::onCancel);
    windowDidLoad();
}

void PasswordWindowController::windowDidLoad() {
    txtFilePath->setText(QString::fromStdString(filePath_.value_or(std::string())));
    setAttemptStatement();
}

void PasswordWindowController::setAttemptStatement() {
    if (priorAttempts_ == 1 || priorAttempts_ == 2) {
        txtStatement->setText(QStringLiteral("Please enter the passphrase to decrypt this file (attempt ") +
                              QString::number(priorAttempts_ + 1) + QStringLiteral(" of ") +
                              QString::number(preferences_.maxNumberOfPasswordAttempts) + QLatin1Char(')'));
    }
}

void PasswordWindowController::onOK() {
    endSheet(kOK);
}

void PasswordWindowController::onSkip() {
    endSheet(kSkip);
}

void PasswordWindowController::onSkipAll() {
    endSheet(kSkipAll);
}

void PasswordWindowController::onCancel() {
    endSheet(kCancel);
}

void PasswordWindowController::reject() {
    // Escape and the close box answer Cancel.
    endSheet(kCancel);
}

void PasswordWindowController::endSheet(int code) {
    if (!isVisible()) {
        return;
    }
    done(code);
}

} // namespace TarvexReader
