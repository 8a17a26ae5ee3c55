#include "TarvexReader/Accounts/sign_in_view_controller.h"

#include <QFormLayout>
#include <QLineEdit>

namespace TarvexReader {

SignInViewController::SignInViewController(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SignInViewController"));
    auto* layout = new QFormLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    txtEmail = new QLineEdit(this);
    txtEmail->setObjectName(QStringLiteral("txtEmail"));
    txtEmail->setPlaceholderText(QStringLiteral("name@example.com"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Email:"), txtEmail);
    layout->addRow(QStringLiteral("Password:"), txtPassword);
    resize(360, 64);
}

} // namespace TarvexReader
