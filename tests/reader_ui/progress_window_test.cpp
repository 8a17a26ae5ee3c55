// The progress window driven from an extraction thread, as the engine drives it.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

#include <atomic>
#include <thread>

#include "TarvexReader/Progress/progress_window_controller.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "reader_ui/reader_test_support.h"
#include "vxmeta/foundation/clock.h"

using namespace TarvexReader;

namespace {
// Runs `work` on a thread of its own while the main thread keeps its event loop going.
template <typename F>
auto onWorker(F work) {
    decltype(work()) result{};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = work();
        done = true;
    });
    ReaderTest::waitUntil([&] { return done.load(); });
    worker.join();
    return result;
}

const auto archiveX = ItemTypes::archive("x.zip");
} // namespace

class ProgressWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        installQtMainQueue();
    }

    void loadingThenExtractingShowTitlesLabelsBarAndRatio() {
        // Time moves only when the test says, however slowly the machine runs the steps.
        auto clock = std::make_shared<VxMeta::ManualClock>(1'000'000);
        VxMeta::setClock(clock);
        struct Restore {
            ~Restore() { VxMeta::setClock(nullptr); }
        } restore;
        ProgressWindowController window;
        QVERIFY(!window.isVisible());
        QVERIFY(!onWorker([&] { return window.displayEvent(ProcessingEvent::loading(archiveX)); }));
        QVERIFY(window.isVisible());
        QCOMPARE(window.windowTitle(), QStringLiteral("Loading x.zip"));
        onWorker([&] { return window.displayProgress(ProcessingEvent::loading(ItemTypes::file("docs/a.txt")), 12, 40); });
        QCOMPARE(window.findChild<QLabel*>("txtLabel")->text(), QStringLiteral("docs/a.txt"));
        QCOMPARE(window.findChild<QLabel*>("txtRatio")->text(), QStringLiteral("12/40"));
        QCOMPARE(window.findChild<QProgressBar*>("indTotalProgress")->value(), 30);
        ReaderTest::saveWindowPicture(&window, "progress_loading");

        onWorker([&] { return window.displayEvent(ProcessingEvent::extracting(archiveX)); });
        QCOMPARE(window.windowTitle(), QStringLiteral("Extracting x.zip"));
        QVERIFY(window.txtLabel->text().isEmpty());
        QVERIFY(window.txtRatio->text().isEmpty());
        QCOMPARE(window.indTotalProgress->value(), 0);
        onWorker([&] { return window.displayEvent(ProcessingEvent::extracting(ItemTypes::file("docs/b.bin"))); });
        QCOMPARE(window.txtLabel->text(), QStringLiteral("docs/b.bin"));
        clock->advanceMillis(120);
        // The second progress follows the first within 0.1 s: it shows nothing; the third, 0.1 s on, shows.
        onWorker([&] {
            window.displayProgress(ProcessingEvent::extracting(ItemTypes::file("docs/b.bin")), 3 * 1048576,
                                   10 * 1048576);
            clock->advanceMillis(99);
            return window.displayProgress(ProcessingEvent::extracting(archiveX), 9 * 1048576, 10 * 1048576);
        });
        QCOMPARE(window.txtRatio->text(), QStringLiteral("3 MB/10 MB"));
        clock->advanceMillis(1);
        onWorker([&] { return window.displayProgress(ProcessingEvent::extracting(archiveX), 4 * 1048576, 10 * 1048576); });
        QCOMPARE(window.txtRatio->text(), QStringLiteral("4 MB/10 MB"));
        QCOMPARE(window.indTotalProgress->value(), 40);
        // A clock set back does not hold the display still.
        clock->setMillis(0);
        onWorker([&] { return window.displayProgress(ProcessingEvent::extracting(archiveX), 3 * 1048576, 10 * 1048576); });
        QCOMPARE(window.indTotalProgress->value(), 30);
        ReaderTest::saveWindowPicture(&window, "progress_extracting");

        onWorker([&] { return window.displayEventEnd(ProcessingEvent::extracting(ItemTypes::file("docs/b.bin"))); });
        QVERIFY(window.txtLabel->text().isEmpty());
        onWorker([&] { return window.displayEventEnd(ProcessingEvent::loading(archiveX)); });
        QVERIFY(window.isVisible());
        onWorker([&] { return window.displayEventEnd(ProcessingEvent::extracting(archiveX)); });
        QVERIFY(!window.isVisible());
    }

    void cancelAndTheCloseBoxAnswerStopEvenWhenThrottled() {
        ProgressWindowController window;
        onWorker([&] { return window.displayEvent(ProcessingEvent::loading(archiveX)); });
        onWorker([&] { return window.displayProgress(ProcessingEvent::extracting(archiveX), 1, 2); });
        QTest::mouseClick(window.findChild<QPushButton*>("btnAction"), Qt::LeftButton);
        // Throttled, and still the cancel is answered.
        QVERIFY(onWorker([&] { return window.displayProgress(ProcessingEvent::extracting(archiveX), 2, 2); }));
        // A cancel made while the archive was opened survives the begin of the extraction.
        QVERIFY(onWorker([&] { return window.displayEvent(ProcessingEvent::extracting(archiveX)); }));

        ProgressWindowController other;
        onWorker([&] { return other.displayEvent(ProcessingEvent::loading(archiveX)); });
        QVERIFY(!other.close());
        QVERIFY(other.isVisible());
        QVERIFY(onWorker([&] { return other.displayEvent(ProcessingEvent::extracting(ItemTypes::file("a"))); }));
        ReaderTest::saveWindowPicture(&other, "progress_after_close_box");
    }

    void theMainQueueAndTimersRunOnTheMainThread() {
        auto queue = Platform::mainQueue();
        QVERIFY(queue != nullptr && queue->isCurrent());
        std::atomic<bool> ranOnMain{false};
        std::thread poster([&] {
            QVERIFY(!queue->isCurrent());
            queue->async([&] { ranOnMain = isMainThread(); });
        });
        QVERIFY(ReaderTest::waitUntil([&] { return ranOnMain.load(); }));
        poster.join();

        int ticks = 0;
        std::unique_ptr<Platform::RepeatingTimer> timer;
        std::thread scheduler([&] {
            timer = Platform::scheduleRepeatingTimer(std::chrono::milliseconds(10), [&] {
                QVERIFY(isMainThread());
                ++ticks;
            });
        });
        QVERIFY(ReaderTest::waitUntil([&] { return timer != nullptr; }));
        scheduler.join();
        QVERIFY(timer->isValid());
        QVERIFY(ReaderTest::waitUntil([&] { return ticks >= 3; }));
        timer->invalidate();
        QVERIFY(!timer->isValid());
        const int stopped = ticks;
        QTest::qWait(60);
        QCOMPARE(ticks, stopped);
    }

    // Names from the archive are shown as written: never read as markup (an image reference would be
    // loaded from its path on the main thread), and a "[*]" in the title stays.
    void hostileNamesShowAsWritten() {
        ReaderTest::TrapFile trap;
        const std::string archiveName = trap.imageMarkup().toStdString() + " [*] <b>x</b>.zip";
        const std::string entryName = "docs/" + trap.imageMarkup().toStdString() + "<i>a</i>.txt";
        ProgressWindowController window;
        QCOMPARE(window.txtLabel->textFormat(), Qt::PlainText);
        QCOMPARE(window.txtRatio->textFormat(), Qt::PlainText);
        onWorker([&] { return window.displayEvent(ProcessingEvent::loading(ItemTypes::archive(archiveName))); });
        onWorker([&] { return window.displayProgress(ProcessingEvent::loading(ItemTypes::file(entryName)), 1, 2); });
        QCOMPARE(window.txtLabel->text(), QString::fromStdString(entryName));
        window.txtLabel->sizeHint();
        ReaderTest::saveWindowPicture(&window, "progress_hostile_loading");
        QCOMPARE(trap.timesOpened(), 0);
        QCOMPARE(window.windowHandle()->title(), QStringLiteral("Loading ") + QString::fromStdString(archiveName));

        onWorker([&] { return window.displayEvent(ProcessingEvent::extracting(ItemTypes::archive(archiveName))); });
        onWorker([&] { return window.displayEvent(ProcessingEvent::extracting(ItemTypes::file(entryName))); });
        QCOMPARE(window.txtLabel->text(), QString::fromStdString(entryName));
        QCOMPARE(window.windowHandle()->title(), QStringLiteral("Extracting ") + QString::fromStdString(archiveName));
        window.txtLabel->sizeHint();
        ReaderTest::saveWindowPicture(&window, "progress_hostile_extracting");
        QCOMPARE(trap.timesOpened(), 0);
    }

    void aZeroMaximumChangesNothingOnScreen() {
        ProgressWindowController window;
        onWorker([&] { return window.displayEvent(ProcessingEvent::loading(archiveX)); });
        QVERIFY(!onWorker([&] { return window.displayProgress(ProcessingEvent::loading(ItemTypes::file("a")), 0, 0); }));
        QCOMPARE(window.indTotalProgress->value(), 0);
        QVERIFY(window.txtRatio->text().isEmpty());
    }
};

QTEST_MAIN(ProgressWindowTest)
#include "progress_window_test.moc"
