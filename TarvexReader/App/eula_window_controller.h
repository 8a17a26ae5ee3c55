// The end-user agreement, shown modally until it has been accepted once: Accept ends it with 1,
// Decline (or closing it) with 0.
#pragma once

#include <QDialog>

class QTextBrowser;

namespace TarvexReader {

class EULAWindowController : public QDialog {
    Q_OBJECT
public:
    // The agreement's text, a rich-text resource of the application.
    static constexpr char kAgreementResource[] = ":/eula.html";

    explicit EULAWindowController(QWidget* parent = nullptr);

    // Fills the text view from the resource; false when the resource is missing.
    bool windowDidLoad();

    QTextBrowser* textView = nullptr;

public slots:
    void onAccept();
    void onDecline();
};

} // namespace TarvexReader
