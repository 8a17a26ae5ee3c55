// The account dialog: the signed-in account's name, e-mail address and the server it is connected to.
// The creator sets `name`, `email` and `server` before `windowDidLoad`.
#pragma once

#include <optional>
#include <string>

#include <QDialog>

class QLabel;

namespace TarvexReader {

class AccountWindowController : public QDialog {
    Q_OBJECT
public:
    explicit AccountWindowController(QWidget* parent);

    // Fills the labels; "Connected to " and the server, or the default server URL without one.
    void windowDidLoad();

    QLabel* lblName = nullptr;
    QLabel* lblEmail = nullptr;
    QLabel* lblServer = nullptr;

    std::optional<std::string> name;
    std::optional<std::string> email;
    std::optional<std::string> server;

public slots:
    // Ends the dialog with 1 while the application has a main window.
    void onOK();
};

} // namespace TarvexReader
