#include "TarvexReader/Progress/progress_window_controller.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "TarvexReader/Progress/file_size_translator.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "TarvexReader/QtPlatform/plain_text.h"
#include "vxmeta/foundation/clock.h"

namespace TarvexReader {

namespace {
constexpr std::int64_t kProgressIntervalMillis = 100;

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

int percentOf(std::uint64_t current, std::uint64_t maximum) {
    const double share = static_cast<double>(current) * 100.0 / static_cast<double>(maximum);
    return share >= 100.0 ? 100 : static_cast<int>(share);
}
} // namespace

ProgressWindowController::ProgressWindowController(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ProgressWindowController"));
    setWindowTitle(QStringLiteral("Tarvex Reader"));
    auto* layout = new QVBoxLayout(this);
    txtLabel = new QLabel(this);
    txtLabel->setObjectName(QStringLiteral("txtLabel"));
    // Entry names come from the archive: never markup.
    txtLabel->setTextFormat(Qt::PlainText);
    txtLabel->setMinimumWidth(380);
    indTotalProgress = new QProgressBar(this);
    indTotalProgress->setObjectName(QStringLiteral("indTotalProgress"));
    indTotalProgress->setRange(0, 100);
    indTotalProgress->setValue(0);
    txtRatio = new QLabel(this);
    txtRatio->setObjectName(QStringLiteral("txtRatio"));
    txtRatio->setTextFormat(Qt::PlainText);
    btnAction = new QPushButton(QStringLiteral("Cancel"), this);
    btnAction->setObjectName(QStringLiteral("btnAction"));
    layout->addWidget(txtLabel);
    layout->addWidget(indTotalProgress);
    auto* bottom = new QHBoxLayout();
    bottom->addWidget(txtRatio, 1);
    bottom->addWidget(btnAction);
    layout->addLayout(bottom);
    connect(btnAction, &QPushButton::clicked, this, &ProgressWindowController::onAction);
}

bool ProgressWindowController::displayEvent(const ProcessingEvent& event) {
    QPointer<ProgressWindowController> weak(this);
    runOnMainThreadAndWait([weak, &event] {
        if (!weak) {
            return;
        }
        const QString name = fromUtf8(event.item.name);
        const bool archive = event.item.kind == ItemTypes::Kind::Archive;
        if (event.phase == ProcessingEvent::Phase::Loading && archive) {
            weak->show();
            weak->activateWindow();
            weak->raise();
            setPlainWindowTitle(weak, QStringLiteral("Loading ") + name);
        } else if (event.phase == ProcessingEvent::Phase::Extracting && archive) {
            setPlainWindowTitle(weak, QStringLiteral("Extracting ") + name);
            weak->txtLabel->clear();
            weak->txtRatio->clear();
            weak->indTotalProgress->setValue(0);
            // A Cancel clicked while the archive was opened stays in force.
        } else if (event.phase == ProcessingEvent::Phase::Extracting) {
            weak->txtLabel->setText(name);
        }
    });
    return cancel_.load();
}

bool ProgressWindowController::displayProgress(const ProcessingEvent& event, std::uint64_t current,
                                               std::uint64_t maximum) {
    // The process clock, so tests can move time; a clock set back does not hold the display still.
    const std::int64_t now = VxMeta::nowMillis();
    if (lastProgressUpdate_ && now >= *lastProgressUpdate_ && now - *lastProgressUpdate_ < kProgressIntervalMillis) {
        return cancel_.load();
    }
    QPointer<ProgressWindowController> weak(this);
    runOnMainThreadAndWait([weak, &event, current, maximum] {
        if (!weak || maximum == 0) {
            // Nothing to measure against: the bar stays as it is.
            return;
        }
        const QString name = fromUtf8(event.item.name);
        const bool archive = event.item.kind == ItemTypes::Kind::Archive;
        if (event.phase == ProcessingEvent::Phase::Extracting) {
            if (!archive) {
                weak->txtLabel->setText(name);
            }
            weak->indTotalProgress->setValue(percentOf(current, maximum));
            weak->txtRatio->setText(fromUtf8(FileSizeTranslator::humanReadableWithSpaceUsedInBytes(current)) +
                                    QLatin1Char('/') +
                                    fromUtf8(FileSizeTranslator::humanReadableWithSpaceUsedInBytes(maximum)));
        } else if (!archive) {
            weak->txtLabel->setText(name);
            weak->indTotalProgress->setValue(percentOf(current, maximum));
            weak->txtRatio->setText(QString::number(current) + QLatin1Char('/') + QString::number(maximum));
        }
    });
    lastProgressUpdate_ = VxMeta::nowMillis();
    return cancel_.load();
}

bool ProgressWindowController::displayEventEnd(const ProcessingEvent& event) {
    QPointer<ProgressWindowController> weak(this);
    runOnMainThreadAndWait([weak, &event] {
        if (!weak || event.phase != ProcessingEvent::Phase::Extracting) {
            return;
        }
        if (event.item.kind == ItemTypes::Kind::File) {
            weak->txtLabel->clear();
        } else {
            weak->hide();
        }
    });
    return cancel_.load();
}

void ProgressWindowController::onAction() {
    cancel_.store(true);
}

void ProgressWindowController::closeEvent(QCloseEvent* event) {
    // The close box cancels; the window stays until the extraction's end closes it.
    cancel_.store(true);
    event->ignore();
}

} // namespace TarvexReader
