// The progress window of one archive: the archive's name in the title, the current item, a bar, the
// size ratio and a Cancel button. The engine's thread drives it through `ExtractProgressDisplayer`;
// each call does its work on the main thread and waits for it, then answers whether the user has
// cancelled. The close box cancels too: the window stays until the extraction's end closes it. The
// window is the parent of the archive's passphrase and sign-in dialogs.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include <QWidget>

#include "TarvexReader/Progress/progress_events.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace TarvexReader {

class ProgressWindowController : public QWidget, public ExtractProgressDisplayer {
    Q_OBJECT
public:
    explicit ProgressWindowController(QWidget* parent = nullptr);

    bool displayEvent(const ProcessingEvent& event) override;
    bool displayProgress(const ProcessingEvent& event, std::uint64_t current, std::uint64_t maximum) override;
    bool displayEventEnd(const ProcessingEvent& event) override;

    bool isCancelled() const { return cancel_.load(); }

    QProgressBar* indTotalProgress = nullptr;
    QLabel* txtLabel = nullptr;
    QLabel* txtRatio = nullptr;
    QPushButton* btnAction = nullptr;

public slots:
    void onAction();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Written on the main thread, read on the extraction thread.
    std::atomic<bool> cancel_{false};
    // Read and written by the extraction thread only.
    // Milliseconds of the process clock when progress was last shown.
    std::optional<std::int64_t> lastProgressUpdate_;
};

} // namespace TarvexReader
