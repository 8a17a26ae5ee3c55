#include "TarvexReader/Accounts/account_window_controller.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "TarvexReader/Credentials/default_server_url.h"
#include "TarvexReader/QtPlatform/application_windows.h"

namespace TarvexReader {

namespace {
QLabel* makeLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

AccountWindowController::AccountWindowController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AccountWindowController"));
    setWindowTitle(QStringLiteral("Account"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    lblName = makeLabel("lblName", this);
    lblEmail = makeLabel("lblEmail", this);
    lblServer = makeLabel("lblServer", this);
    layout->addWidget(lblName);
    layout->addWidget(lblEmail);
    layout->addWidget(lblServer);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &AccountWindowController::onOK);
}

void AccountWindowController::windowDidLoad() {
    lblName->setText(QString::fromStdString(name.value_or(std::string())));
    lblEmail->setText(QString::fromStdString(email.value_or(std::string())));
    lblServer->setText(QStringLiteral("Connected to ") + QString::fromStdString(server.value_or(defaultServerURL())));
}

void AccountWindowController::onOK() {
    if (applicationMainWindow() != nullptr) {
        done(1);
    }
}

} // namespace TarvexReader
