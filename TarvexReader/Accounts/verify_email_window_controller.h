// The verify-email dialog: tells the user that a verification e-mail went to the account's address.
// The creator sets `vorlane` before `windowDidLoad`.
#pragma once

#include <memory>

#include <QDialog>

#include "Vorlane/vorlane_facade.h"

class QLabel;

namespace TarvexReader {

class VerifyEmailWindowController : public QDialog {
    Q_OBJECT
public:
    explicit VerifyEmailWindowController(QWidget* parent);

    // "We've sent an email to " the facade's e-mail address and "."; `lblUpdate` empty.
    void windowDidLoad();

    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane;
    QLabel* lblMessage = nullptr;
    QLabel* lblUpdate = nullptr;

public slots:
    // Ends the dialog when it is shown on a window.
    void onOK();
};

} // namespace TarvexReader
