#include "TarvexReader/App/eula_window_controller.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace TarvexReader {

EULAWindowController::EULAWindowController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("EULA"));
    setWindowTitle(QStringLiteral("Tarvex Reader License Agreement"));
    auto* layout = new QVBoxLayout(this);
    textView = new QTextBrowser(this);
    textView->setObjectName(QStringLiteral("textView"));
    textView->setOpenExternalLinks(true);
    textView->setMinimumSize(520, 360);
    layout->addWidget(textView);
    auto* buttons = new QHBoxLayout();
    auto* decline = new QPushButton(QStringLiteral("Decline"), this);
    decline->setObjectName(QStringLiteral("btnDecline"));
    decline->setAutoDefault(false);
    auto* accept = new QPushButton(QStringLiteral("Accept"), this);
    accept->setObjectName(QStringLiteral("btnAccept"));
    accept->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(decline);
    buttons->addWidget(accept);
    layout->addLayout(buttons);
    connect(accept, &QPushButton::clicked, this, &EULAWindowController::onAccept);
    connect(decline, &QPushButton::clicked, this, &EULAWindowController::onDecline);
}

bool EULAWindowController::windowDidLoad() {
    QFile resource(QString::fromLatin1(kAgreementResource));
    if (!resource.open(QIODevice::ReadOnly)) {
        return false;
    }
    textView->setHtml(QString::fromUtf8(resource.readAll()));
    return true;
}

void EULAWindowController::onAccept() {
    done(1);
}

void EULAWindowController::onDecline() {
    done(0);
}

} // namespace TarvexReader
