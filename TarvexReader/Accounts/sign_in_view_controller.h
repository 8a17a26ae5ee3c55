// The sign-in form of the credential sheet: the e-mail entry (an address, optionally "///" and a
// server) and the password. No state of its own and no checks; the sheet reads its fields.
#pragma once

#include <QWidget>

class QLineEdit;

namespace TarvexReader {

class SignInViewController : public QWidget {
    Q_OBJECT
public:
    explicit SignInViewController(QWidget* parent = nullptr);

    QLineEdit* txtEmail = nullptr;
    QLineEdit* txtPassword = nullptr;
};

} // namespace TarvexReader
