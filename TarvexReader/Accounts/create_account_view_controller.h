// The create-account form of the credential sheet: name, e-mail entry, password and the password again.
// No state of its own and no checks; the sheet reads its fields.
#pragma once

#include <QWidget>

class QLineEdit;

namespace TarvexReader {

class CreateAccountViewController : public QWidget {
    Q_OBJECT
public:
    explicit CreateAccountViewController(QWidget* parent = nullptr);

    QLineEdit* txtName = nullptr;
    QLineEdit* txtEmail = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtReenterPassword = nullptr;
};

} // namespace TarvexReader
