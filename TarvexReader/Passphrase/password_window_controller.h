// The passphrase dialog: the entry's path, a statement naming the attempt, a password field and the
// buttons OK, Skip, Skip All and Cancel. Shown window-modal on the archive's progress window; it ends
// with the button's code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <QDialog>

#include "TarvexReader/Passphrase/global_preferences.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace TarvexReader {

class PasswordWindowController : public QDialog {
    Q_OBJECT
public:
    // The codes the dialog ends with.
    static constexpr int kOK = 1;
    static constexpr int kSkip = 1001;
    static constexpr int kSkipAll = 1002;
    static constexpr int kCancel = 0;

    PasswordWindowController(std::optional<std::string> filePath, std::uint32_t priorAttempts,
                             GlobalPreferences preferences, QWidget* parent);

    // Fills the path and the statement (called once the fields exist).
    void windowDidLoad();
    void setAttemptStatement();

    QLabel* txtStatement = nullptr;
    QLabel* txtFilePath = nullptr;
    QLineEdit* txtPassword = nullptr;

public slots:
    void onOK();
    void onSkip();
    void onSkipAll();
    void onCancel();

protected:
    void reject() override;

private:
    void endSheet(int code);

    std::optional<std::string> filePath_;
    std::uint32_t priorAttempts_ = 0;
    GlobalPreferences preferences_;
};

} // namespace TarvexReader
