#include "TarvexReader/Accounts/verify_email_window_controller.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace TarvexReader {

VerifyEmailWindowController::VerifyEmailWindowController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VerifyEmailWindowController"));
    setWindowTitle(QStringLiteral("Verify Your Email"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setTextFormat(Qt::PlainText);
    lblUpdate = new QLabel(this);
    lblUpdate->setObjectName(QStringLiteral("lblUpdate"));
    lblUpdate->setTextFormat(Qt::PlainText);
    layout->addWidget(lblMessage);
    layout->addWidget(lblUpdate);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &VerifyEmailWindowController::onOK);
}

void VerifyEmailWindowController::windowDidLoad() {
    const std::string address = vorlane ? vorlane->email() : std::string();
    lblMessage->setText(QStringLiteral("We've sent an email to ") + QString::fromStdString(address) + QLatin1Char('.'));
    lblUpdate->setText(QString());
}

void VerifyEmailWindowController::onOK() {
    if (isVisible() && parentWidget() != nullptr) {
        done(0);
    }
}

} // namespace TarvexReader
