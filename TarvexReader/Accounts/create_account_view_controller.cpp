#include "TarvexReader/Accounts/create_account_view_controller.h"

#include <QFormLayout>
#include <QLineEdit>

namespace TarvexReader {

CreateAccountViewController::CreateAccountViewController(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CreateAccountViewController"));
    auto* layout = new QFormLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto field = [this](const char* name, bool secret) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        if (secret) {
            edit->setEchoMode(QLineEdit::Password);
        }
        return edit;
    };
    txtName = field("txtName", false);
    txtEmail = field("txtEmail", false);
    txtPassword = field("txtPassword", true);
    txtReenterPassword = field("txtReenterPassword", true);
    layout->addRow(QStringLiteral("Name:"), txtName);
    layout->addRow(QStringLiteral("Email:"), txtEmail);
    layout->addRow(QStringLiteral("Password:"), txtPassword);
    layout->addRow(QStringLiteral("Re-enter password:"), txtReenterPassword);
    resize(360, 128);
}

} // namespace TarvexReader
