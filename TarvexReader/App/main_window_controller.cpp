#include "TarvexReader/App/main_window_controller.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QVBoxLayout>

#include "TarvexReader/Drop/zip_drag_destination.h"

namespace TarvexReader {

const QStringList& MainWindowController::descriptionLines() {
    static const QStringList lines = {
        QStringLiteral("You can do more with Tarvex! "), QStringLiteral("- Enterprise Key Management "),
        QStringLiteral("- Persistent File Encryption "), QStringLiteral("- Policy Management "), QString(),
        QStringLiteral("Click here to learn more!")};
    return lines;
}

MainWindowController::MainWindowController(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Tarvex Reader"));
}

void MainWindowController::windowDidLoad() {
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);

    dropView = new CustomizableDraggingDestinationView(content);
    dropView->setObjectName(QStringLiteral("dropView"));
    auto* dropLayout = new QVBoxLayout(dropView);
    auto* hint = new QLabel(QStringLiteral("Drop ZIP archives here"), dropView);
    hint->setAlignment(Qt::AlignCenter);
    dropLayout->addWidget(hint);
    auto destination = std::make_unique<ZIPDragDestination>();
    destination->processor = this;
    dropView->setReceiver(std::move(destination));
    layout->addWidget(dropView, 1);

    txtDescription = new QTextBrowser(content);
    txtDescription->setObjectName(QStringLiteral("txtDescription"));
    txtDescription->setOpenExternalLinks(true);
    txtDescription->setFrameShape(QFrame::NoFrame);
    txtDescription->viewport()->setAutoFillBackground(false);
    txtDescription->setTextInteractionFlags(Qt::TextBrowserInteraction);
    txtDescription->setMaximumHeight(130);
    QFont font = txtDescription->font();
    font.setPointSize(13);
    QTextCharFormat plain;
    plain.setFont(font);
    plain.setForeground(palette().color(QPalette::WindowText));
    QTextCharFormat link = plain;
    link.setAnchor(true);
    link.setAnchorHref(QString::fromLatin1(kProductInformationAddress));
    link.setFontUnderline(true);
    QTextCursor cursor(txtDescription->document());
    const QStringList& lines = descriptionLines();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            cursor.insertText(QStringLiteral("\n"), plain);
        }
        if (i == lines.size() - 1) {
            const QString clickHere = QStringLiteral("Click here");
            cursor.insertText(clickHere, link);
            cursor.insertText(lines[i].mid(clickHere.size()), plain);
        } else {
            cursor.insertText(lines[i], plain);
        }
    }
    layout->addWidget(txtDescription);

    btnSelectArchives = new QPushButton(QStringLiteral("Select Archive…"), content);
    btnSelectArchives->setObjectName(QStringLiteral("btnSelectArchives"));
    layout->addWidget(btnSelectArchives, 0, Qt::AlignRight);
    connect(btnSelectArchives, &QPushButton::clicked, this, &MainWindowController::onSelectArchives);

    setCentralWidget(content);
    resize(480, 420);
}

void MainWindowController::processDroppedURLs(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (itemsProcessor_) {
            itemsProcessor_->processArchiveURL(url);
        }
    }
}

void MainWindowController::didChooseURLs(const QList<QUrl>& urls) {
    processDroppedURLs(urls);
    openWidget_.reset();
}

void MainWindowController::onSelectArchives() {
    openWidget_ = std::make_unique<OpenWidget>(this);
    openWidget_->showOpenPanel(this);
}

void MainWindowController::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

} // namespace TarvexReader
