// Start-up, the agreement gate, the main window, its drop zone and the open dialog.
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

#include "Platform/device_identity.h"
#include "Platform/user_defaults.h"
#include "Platform/user_notification.h"
#include "TarvexReader/App/app_delegate.h"
#include "TarvexReader/App/eula_window_controller.h"
#include "TarvexReader/App/main_window_controller.h"
#include "TarvexReader/App/null_vl_storage.h"
#include "TarvexReader/Passphrase/password_window_controller.h"
#include "TarvexReader/Progress/progress_window_controller.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "reader_ui/reader_test_support.h"

using namespace TarvexReader;

namespace {

struct RecordingItemsProcessor : ItemsProcessor {
    QList<QUrl> urls;
    void processArchiveURL(const QUrl& url) override { urls.append(url); }
};

// Answers the agreement window with `button` once it shows; counts how often it showed.
struct AgreementAnswer {
    int shown = 0;
    explicit AgreementAnswer(const char* button) {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, button] {
            for (auto* agreement : ReaderTest::visibleWindows<EULAWindowController>()) {
                ++shown;
                QVERIFY(!agreement->textView->toPlainText().isEmpty());
                ReaderTest::saveWindowPicture(agreement, QStringLiteral("agreement"));
                QTest::mouseClick(agreement->findChild<QPushButton*>(button), Qt::LeftButton);
            }
        });
        timer.start();
    }
    QTimer timer;
};

// Whether the view took the drag on entry, and with which operation.
std::pair<bool, Qt::DropAction> enter(QWidget* view, const QMimeData& data) {
    QDragEnterEvent event(view->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return {event.isAccepted(), event.dropAction()};
}

bool drop(QWidget* view, const QMimeData& data) {
    QDropEvent event(QPointF(view->rect().center()), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return event.isAccepted();
}

std::unique_ptr<QMimeData> urlsOf(const QList<QUrl>& urls) {
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ReaderTest::PrivateHome> home_;
    QUrl zipA_, zipB_, text_, folder_, fakeZip_;

private slots:
    void initTestCase() {
        if (!Platform::machineUUID()) {
            QSKIP("this machine has no /etc/machine-id, which start-up requires");
        }
        home_ = std::make_unique<ReaderTest::PrivateHome>();
        installQtMainQueue();
        const QString files = home_->path("files");
        ReaderTest::writeFiles(files, {{"a.txt", "alpha\n"}, {"notes.txt", "just text\n"}, {"folder/x", "x"},
                                       {"fake.zip", "not an archive at all\n"}});
        QCOMPARE(ReaderTest::run(files, "zip", {"-q", "a.zip", "a.txt"}), 0);
        QCOMPARE(ReaderTest::run(files, "7z", {"a", "-tzip", "b.zip", "a.txt"}), 0);
        zipA_ = QUrl::fromLocalFile(files + "/a.zip");
        zipB_ = QUrl::fromLocalFile(files + "/b.zip");
        text_ = QUrl::fromLocalFile(files + "/notes.txt");
        folder_ = QUrl::fromLocalFile(files + "/folder");
        fakeZip_ = QUrl::fromLocalFile(files + "/fake.zip");
    }

    void theAgreementGatesTheFirstLaunchUntilAccepted() {
        auto defaults = std::make_shared<Platform::InMemoryUserDefaults>();
        {
            AgreementAnswer decline("btnDecline");
            auto delegate = std::make_shared<AppDelegate>(defaults);
            QVERIFY(!delegate->applicationDidFinishLaunching());
            QCOMPARE(decline.shown, 1);
            QVERIFY(delegate->window() == nullptr);
            QVERIFY(ReaderTest::visibleWindows<MainWindowController>().isEmpty());
            QVERIFY(!defaults->boolForKey("EULA"));
        }
        {
            AgreementAnswer accept("btnAccept");
            auto delegate = std::make_shared<AppDelegate>(defaults);
            QVERIFY(delegate->applicationDidFinishLaunching());
            QCOMPARE(accept.shown, 1);
            QVERIFY(defaults->boolForKey("EULA"));
            QVERIFY(delegate->window() != nullptr && delegate->window()->isVisible());
            delegate->window()->close();
        }
        {
            AgreementAnswer never("btnDecline");
            auto delegate = std::make_shared<AppDelegate>(defaults);
            QVERIFY(delegate->applicationDidFinishLaunching());
            QCOMPARE(never.shown, 0);
            delegate->revertToFirst();
            QVERIFY(!defaults->boolForKey("EULA"));
            delegate->window()->close();
        }
        {
            AgreementAnswer again("btnAccept");
            auto delegate = std::make_shared<AppDelegate>(defaults);
            QVERIFY(delegate->applicationDidFinishLaunching());
            QCOMPARE(again.shown, 1);
            delegate->window()->close();
        }
    }

    void theMainWindowHasItsMenusDescriptionAndPresentsEveryNotification() {
        auto defaults = std::make_shared<Platform::InMemoryUserDefaults>();
        defaults->setBool(true, "EULA");
        auto delegate = std::make_shared<AppDelegate>(defaults);
        QVERIFY(delegate->vorlane()->guid().rfind("LIN-", 0) == 0);
        QCOMPARE(delegate->vorlane()->guid().size(), 40U);
        QVERIFY(delegate->applicationDidFinishLaunching());
        auto* window = qobject_cast<MainWindowController*>(delegate->window());
        QVERIFY(window != nullptr);
        QVERIFY(delegate->shouldPresentNotification(Platform::UserNotification{"t", "x", std::nullopt}));

        auto* description = window->findChild<QTextBrowser*>("txtDescription");
        QVERIFY(description != nullptr);
        QCOMPARE(description->toPlainText(), MainWindowController::descriptionLines().join(QLatin1Char('\n')));
        QCOMPARE(description->toPlainText(), QStringLiteral("You can do more with Tarvex! \n- Enterprise Key Management \n"
                                                            "- Persistent File Encryption \n- Policy Management \n\n"
                                                            "Click here to learn more!"));
        QTextBlock last = description->document()->lastBlock();
        QTextCursor cursor(last);
        cursor.movePosition(QTextCursor::Right);
        QCOMPARE(cursor.charFormat().anchorHref(), QString::fromLatin1(MainWindowController::kProductInformationAddress));
        QCOMPARE(cursor.charFormat().font().pointSize(), 13);

        QStringList actions;
        QList<QVariant> tags;
        for (QAction* action : window->menuBar()->findChildren<QAction*>()) {
            if (!action->objectName().isEmpty()) {
                actions << action->objectName();
            }
            if (action->data().isValid()) {
                tags << action->data();
            }
        }
        for (const char* name : {"openItem", "revertToFirst", "logIn", "showAccount", "showHelp"}) {
            QVERIFY2(actions.contains(QString::fromLatin1(name)), name);
        }
        QVERIFY(tags.contains(QVariant(14)) && tags.contains(QVariant(15)));
        ReaderTest::saveWindowPicture(window, "main_window");

        // File > Open begins the open dialog on the main window; cancelling it processes nothing.
        window->findChild<QAction*>("openItem")->trigger();
        QFileDialog* panel = nullptr;
        QVERIFY(ReaderTest::waitUntil([&] {
            panel = window->findChild<QFileDialog*>("OpenPanel");
            return panel != nullptr && panel->isVisible();
        }));
        QCOMPARE(panel->labelText(QFileDialog::Accept), QStringLiteral("Extract"));
        panel->reject();
        QVERIFY(ReaderTest::waitUntil([&] { return window->findChild<QFileDialog*>("OpenPanel") == nullptr; }));
        QVERIFY(delegate->itemsProcessor()->processors().empty());

        QSignalSpy closed(window, &MainWindowController::closed);
        window->close();
        QCOMPARE(closed.count(), 1);
    }

    void theDropZoneTakesZIPArchivesOnlyAndHighlightsWhileOver() {
        MainWindowController window;
        auto processor = std::make_shared<RecordingItemsProcessor>();
        window.setItemsProcessor(processor);
        window.windowDidLoad();
        window.show();
        QWidget* view = window.findChild<QWidget*>("dropView");
        QVERIFY(view == window.dropView);

        auto two = urlsOf({zipA_, zipB_});
        QCOMPARE(enter(view, *two), std::make_pair(true, Qt::CopyAction));
        QVERIFY(window.dropView->isReceivingDrag());
        ReaderTest::saveWindowPicture(&window, "drop_zone_highlighted");
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(view, &leave);
        QVERIFY(!window.dropView->isReceivingDrag());
        ReaderTest::saveWindowPicture(&window, "drop_zone_idle");

        enter(view, *two);
        QVERIFY(drop(view, *two));
        QVERIFY(!window.dropView->isReceivingDrag());
        QCOMPARE(processor->urls, (QList<QUrl>{zipA_, zipB_}));

        processor->urls.clear();
        const QList<QUrl> refused[] = {{folder_}, {text_}, {fakeZip_}, {QUrl("https://www.tarvex.example/a.zip")}, {}};
        for (const auto& urls : refused) {
            auto data = urlsOf(urls);
            QVERIFY(!enter(view, *data).first);
            QVERIFY(!window.dropView->isReceivingDrag());
            QVERIFY(!drop(view, *data));
        }
        QMimeData plain;
        plain.setText(zipA_.toLocalFile());
        QVERIFY(!enter(view, plain).first);
        QVERIFY(processor->urls.isEmpty());

        // An archive with a text file: taken, and only the archive goes on.
        auto mixed = urlsOf({text_, zipB_});
        QVERIFY(enter(view, *mixed).first);
        QVERIFY(drop(view, *mixed));
        QCOMPARE(processor->urls, QList<QUrl>{zipB_});
    }

    void theOpenDialogExtractsOneChosenArchive() {
        MainWindowController window;
        auto processor = std::make_shared<RecordingItemsProcessor>();
        window.setItemsProcessor(processor);
        window.windowDidLoad();
        window.show();

        QTest::mouseClick(window.findChild<QPushButton*>("btnSelectArchives"), Qt::LeftButton);
        QFileDialog* panel = nullptr;
        QVERIFY(ReaderTest::waitUntil([&] {
            panel = window.findChild<QFileDialog*>("OpenPanel");
            return panel != nullptr && panel->isVisible();
        }));
        QCOMPARE(panel->labelText(QFileDialog::Accept), QStringLiteral("Extract"));
        QCOMPARE(panel->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(panel->windowModality(), Qt::WindowModal);
        QCOMPARE(panel->parentWidget(), &window);
        panel->reject();
        QVERIFY(ReaderTest::waitUntil([&] { return window.findChild<QFileDialog*>("OpenPanel") == nullptr; }));
        QVERIFY(processor->urls.isEmpty());

        QTest::mouseClick(window.btnSelectArchives, Qt::LeftButton);
        QVERIFY(ReaderTest::waitUntil([&] {
            panel = window.findChild<QFileDialog*>("OpenPanel");
            return panel != nullptr && panel->isVisible();
        }));
        panel->setDirectory(QFileInfo(zipA_.toLocalFile()).path());
        panel->selectFile(zipA_.toLocalFile());
        ReaderTest::saveWindowPicture(panel, "open_dialog");
        static_cast<QDialog*>(panel)->accept();
        QCOMPARE(processor->urls, QList<QUrl>{zipA_});
    }

    void theNullStorageKeepsNothingAndNeverFails() {
        NullVLStorage storage;
        Platform::Error untouched("D", 9);
        auto restored = storage.restoreMetadataWithError(&untouched);
        QVERIFY(restored.has_value());
        QVERIFY(restored->empty());
        QCOMPARE(untouched.code, 9L);
        QVERIFY(storage.storeMetadata({VorlaneBridge::VLSerial("n", "v")}, nullptr));
        QVERIFY(storage.removeMetadataWithError(nullptr));
        QVERIFY(storage.restoreMetadataWithError(nullptr)->empty());
    }

    // File > Quit while one archive extracts and another waits for its passphrase: both are cancelled,
    // each removes what it made (staging folder included), and the event loop ends. Last: it runs the
    // application's own loop.
    void quittingCancelsEveryExtractionCleansUpAndEnds() {
        const QString files = home_->path("quit");
        QList<std::pair<QString, QByteArray>> inputs{{"s/a.txt", "secret a\n"}, {"s/b.txt", "secret b\n"}};
        for (int i = 0; i < 60; ++i) {
            inputs.append({QStringLiteral("big/part%1.bin").arg(i, 2, 10, QLatin1Char('0')),
                           QByteArray(300000, static_cast<char>('a' + i % 26))});
        }
        ReaderTest::writeFiles(files, inputs);
        QCOMPARE(ReaderTest::run(files + "/big", "zip", {"-q", "-r", "../big.zip", "."}), 0);
        QCOMPARE(ReaderTest::run(files + "/s", "zip", {"-q", "-P", "pw", "../secret.zip", "a.txt", "b.txt"}), 0);
        const QString desktop = home_->desktop();
        QDir(desktop).removeRecursively();
        ReaderTest::writeFiles(desktop, {{"mine.txt", "mine\n"}});

        auto defaults = std::make_shared<Platform::InMemoryUserDefaults>();
        defaults->setBool(true, "EULA");
        auto delegate = std::make_shared<AppDelegate>(defaults);
        QVERIFY(delegate->applicationDidFinishLaunching());
        QApplication::setQuitOnLastWindowClosed(false); // as the program entry sets it
        const auto& processor = delegate->itemsProcessor();
        processor->processArchiveURL(QUrl::fromLocalFile(files + "/secret.zip"));
        QVERIFY(ReaderTest::waitUntil([] { return !ReaderTest::visibleWindows<PasswordWindowController>().isEmpty(); }));

        // One main-thread step at a time, so the large archive is caught among its files.
        processor->processArchiveURL(QUrl::fromLocalFile(files + "/big.zip"));
        QDeadlineTimer deadline(60000);
        auto extractingBig = [] {
            for (auto* window : ReaderTest::visibleWindows<ProgressWindowController>()) {
                if (window->windowTitle() == "Extracting big.zip" && !window->txtLabel->text().isEmpty()) {
                    return true;
                }
            }
            return false;
        };
        while (!extractingBig()) {
            QVERIFY(!deadline.hasExpired());
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        QCOMPARE(processor->processors().size(), 2U);

        QTimer watchdog; // a quit that never ends fails here instead of hanging
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(60000);
        delegate->window()->menuBar()->findChild<QAction*>("quit")->trigger();
        QCOMPARE(QApplication::exec(), 0);

        QVERIFY(processor->processors().empty());
        QVERIFY(delegate->window() == nullptr);
        QVERIFY(ReaderTest::visibleWindows<ProgressWindowController>().isEmpty());
        QVERIFY(ReaderTest::visibleWindows<PasswordWindowController>().isEmpty());
        QCOMPARE(QDir(desktop).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"mine.txt"});
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
