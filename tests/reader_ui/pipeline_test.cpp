// End to end: archives made by Info-ZIP zip and 7z, handed to the items processor, extracted through
// the archive bridge and the engine into a private XDG Desktop, with passphrase dialogs answered as a
// user would and the desktop notifications read back from the test notification service.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "Platform/system_log.h"
#include "Platform/user_defaults.h"
#include "Platform/user_notification.h"
#include "TarvexReader/Accounts/account_manager.h"
#include "support/in_memory_keychain.h"
#include "TarvexReader/Passphrase/password_window_controller.h"
#include "TarvexReader/Pipeline/zip_items_processor.h"
#include "TarvexReader/Progress/progress_window_controller.h"
#include "TarvexReader/QtPlatform/dbus_user_notification_center.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "Vorlane/vorlane_facade.h"
#include "reader_ui/reader_test_support.h"

using namespace TarvexReader;

namespace {

struct Expected {
    QString summary;
    QString body;
};

QString read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
}

} // namespace

class PipelineTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ReaderTest::PrivateHome> home_;
    std::unique_ptr<ReaderTest::NotificationService> service_;
    std::shared_ptr<VorlaneBridge::VorlaneFacade> facade_;
    std::shared_ptr<ZIPItemsProcessor> processor_;
    QString files_;
    QStringList logged_;

    QString desktop() const { return home_->desktop(); }
    QUrl archive(const QString& name) const { return QUrl::fromLocalFile(files_ + QLatin1Char('/') + name); }

    // Makes an archive in the files folder from the files of `source` (a folder below it).
    void make(const QString& tool, const QString& source, const QStringList& arguments) {
        QCOMPARE(ReaderTest::run(files_ + QLatin1Char('/') + source, tool, arguments), 0);
    }

    // Processes the archives, answers each passphrase dialog through `answer`, and waits until every
    // archive's notification arrived (or `notifications` of them, when archives are started meanwhile);
    // the new notifications.
    QList<QJsonObject> process(const QList<QUrl>& urls,
                               const std::function<void(PasswordWindowController*)>& answer = nullptr,
                               qsizetype notifications = -1) {
        const qsizetype before = service_->calls().size();
        for (const QUrl& url : urls) {
            processor_->processArchiveURL(url);
        }
        const bool finished = ReaderTest::waitUntil([&] {
            if (answer) {
                for (auto* dialog : ReaderTest::visibleWindows<PasswordWindowController>()) {
                    answer(dialog);
                }
            }
            return processor_->processors().empty() &&
                   service_->calls().size() >= before + (notifications < 0 ? urls.size() : notifications);
        }, 60000);
        if (!finished) {
            qWarning("the archives did not finish");
            return {};
        }
        return service_->calls().mid(before);
    }

    static void click(PasswordWindowController* dialog, const char* button, const QString& password = QString()) {
        if (!password.isNull()) {
            dialog->txtPassword->setText(password);
        }
        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    }

    void expectNotifications(const QList<QJsonObject>& calls, const QList<Expected>& expected) {
        QCOMPARE(calls.size(), expected.size());
        for (const Expected& e : expected) {
            bool found = false;
            for (const QJsonObject& call : calls) {
                found = found || (call["summary"].toString() == e.summary && call["body"].toString() == e.body);
            }
            QVERIFY2(found, qPrintable(e.summary + " / " + e.body + " not among the notifications"));
        }
        for (const QJsonObject& call : calls) {
            QCOMPARE(call["app_name"].toString(), QStringLiteral("Tarvex Reader"));
        }
    }

private slots:
    void initTestCase() {
        installQtMainQueue();
        Platform::setDefaultUserNotificationCenter(std::make_shared<DBusUserNotificationCenter>());
        Platform::setSystemLogSink([this](const std::string& line) { logged_ << QString::fromStdString(line); });
        service_ = std::make_unique<ReaderTest::NotificationService>();
        QVERIFY(service_->started());
        auto defaults = std::make_shared<Platform::InMemoryUserDefaults>();
        facade_ = std::make_shared<VorlaneBridge::VorlaneFacade>(
            std::make_shared<VorlaneBridge::VorlaneWrapper>(), defaults, nullptr, Platform::Bundle{},
            "LIN-00000000-0000-0000-0000-000000000000", "test machine", "6.1");
        processor_ = std::make_shared<ZIPItemsProcessor>(std::make_shared<AccountManager>(), defaults,
                                                         std::make_shared<KeychainCredentialsKeeper>(std::make_shared<TarvexReaderTest::InMemoryKeychain>(), defaults), facade_);
    }

    void init() {
        home_ = std::make_unique<ReaderTest::PrivateHome>();
        files_ = home_->path("files");
        QDir().mkpath(files_);
    }

    void destinationsFollowTheTopLevelItems() {
        ReaderTest::writeFiles(files_, {{"d/docs/a.txt", "a\n"}, {"d/docs/b.txt", "b\n"},
                                        {"r/one.txt", "1\n"}, {"r/two.txt", "2\n"}, {"r/three.txt", "3\n"},
                                        {"p/img1.raw", QByteArray(70000, 'x')}, {"p/img2.raw", "2"},
                                        {"p/album/img3.raw", "3"}, {"m/only.txt", "only\n"}});
        QDir().mkpath(files_ + "/m/empty1");
        QDir().mkpath(files_ + "/m/empty2");
        make("7z", "d", {"a", "-tzip", "../docs.zip", "docs"});
        make("zip", "r", {"-q", "../report.zip", "one.txt", "two.txt", "three.txt"});
        make("7z", "p", {"a", "-tzip", "../photos.tar.zip", "img1.raw", "img2.raw", "album"});
        make("zip", "m", {"-q", "-r", "../mixed.zip", "empty1", "empty2", "only.txt"});

        const auto calls = process({archive("docs.zip"), archive("report.zip"), archive("photos.tar.zip"),
                                    archive("mixed.zip")});
        expectNotifications(calls, {
            {"Tarvex: Success", "2 file(s) from docs.zip were unzipped to " + desktop()},
            {"Tarvex: Success", "3 file(s) from report.zip were unzipped to " + desktop() + "/report"},
            {"Tarvex: Success", "3 file(s) from photos.tar.zip were unzipped to " + desktop() + "/photos.tar"},
            {"Tarvex: Success", "1 file(s) from mixed.zip were unzipped to " + desktop()},
        });
        QCOMPARE(read(desktop() + "/docs/b.txt"), QStringLiteral("b\n"));
        QCOMPARE(read(desktop() + "/report/three.txt"), QStringLiteral("3\n"));
        QCOMPARE(read(desktop() + "/photos.tar/album/img3.raw"), QStringLiteral("3"));
        QCOMPARE(QFileInfo(desktop() + "/photos.tar/img1.raw").size(), 70000);
        QCOMPARE(read(desktop() + "/only.txt"), QStringLiteral("only\n"));
        QVERIFY(QFileInfo(desktop() + "/empty1").isDir());
        for (const QJsonObject& call : calls) {
            QVERIFY(!call["hints"].toObject()[DBusUserNotificationCenter::kIdentifierHint].toString().isEmpty());
        }
        QVERIFY(ReaderTest::visibleWindows<ProgressWindowController>().isEmpty());

        // Again: what is there already gets copy names, asked leaf by leaf.
        const auto again = process({archive("docs.zip"), archive("report.zip")});
        QCOMPARE(again.size(), 2);
        QCOMPARE(read(desktop() + "/docs copy/a.txt"), QStringLiteral("a\n"));
        QCOMPARE(read(desktop() + "/report/one copy.txt"), QStringLiteral("1\n"));
        QCOMPARE(read(desktop() + "/report/one.txt"), QStringLiteral("1\n"));
    }

    void passwordsSkipsAndFailuresShowInTheCounts() {
        ReaderTest::writeFiles(files_, {{"s/a.txt", "secret a\n"}, {"s/b.txt", "secret b\n"}, {"s/c.txt", "secret c\n"}});
        make("zip", "s", {"-q", "-P", "Pa55", "../classic.zip", "a.txt", "b.txt"});
        make("7z", "s", {"a", "-tzip", "-pAES-pass", "-mem=AES256", "../aes.zip", "a.txt", "b.txt", "c.txt"});
        make("zip", "s", {"-q", "-P", "Pa55", "../partial.zip", "a.txt", "b.txt", "c.txt"});
        make("zip", "s", {"-q", "-P", "Pa55", "../skipped.zip", "a.txt", "b.txt"});

        bool pictured = false;
        auto calls = process({archive("classic.zip")}, [&](PasswordWindowController* dialog) {
            if (!pictured) {
                ReaderTest::saveWindowPicture(dialog->parentWidget(), "pipeline_progress_window");
                ReaderTest::saveWindowPicture(dialog, "pipeline_passphrase");
                pictured = true;
            }
            click(dialog, "btnOK", "Pa55");
        });
        expectNotifications(calls, {{"Tarvex: Success", "2 file(s) from classic.zip were unzipped to " + desktop() + "/classic"}});
        QCOMPARE(read(desktop() + "/classic/b.txt"), QStringLiteral("secret b\n"));

        // A wrong answer first: the dialog asks again with the attempt named.
        QStringList statements;
        calls = process({archive("aes.zip")}, [&](PasswordWindowController* dialog) {
            statements << dialog->txtStatement->text();
            click(dialog, "btnOK", statements.size() == 1 ? "wrong" : "AES-pass");
        });
        expectNotifications(calls, {{"Tarvex: Success", "3 file(s) from aes.zip were unzipped to " + desktop() + "/aes"}});
        QVERIFY(statements.size() >= 2);
        QCOMPARE(statements[1], QStringLiteral("Please enter the passphrase to decrypt this file (attempt 2 of 3)"));
        QCOMPARE(read(desktop() + "/aes/c.txt"), QStringLiteral("secret c\n"));

        // One file skipped: partial.
        int asked = 0;
        calls = process({archive("partial.zip")}, [&](PasswordWindowController* dialog) {
            const bool skip = dialog->txtFilePath->text() == "b.txt";
            ++asked;
            click(dialog, skip ? "btnSkip" : "btnOK", skip ? QString() : QStringLiteral("Pa55"));
        });
        expectNotifications(calls, {{"Tarvex: Warning", "Only 2 of 3 file(s) from partial.zip were unzipped to " +
                                                            desktop() + "/partial with 0 warning(s)"}});
        QVERIFY(!QFileInfo::exists(desktop() + "/partial/b.txt"));

        // Skip All on the first question: nothing more is asked, nothing is unzipped.
        asked = 0;
        calls = process({archive("skipped.zip")}, [&](PasswordWindowController* dialog) {
            ++asked;
            click(dialog, "btnSkipAll");
        });
        expectNotifications(calls, {{"Tarvex: Error", "No files were unzipped from skipped.zip"}});
        QCOMPARE(asked, 1);
    }

    void cancelRemovesOnlyWhatTheExtractionCreated() {
        ReaderTest::writeFiles(files_, {{"s/a.txt", "a\n"}, {"s/b.txt", "b\n"}, {"keep/old.txt", "old\n"}});
        make("zip", "s", {"-q", "-P", "pw", "../cancelled.zip", "a.txt", "b.txt"});
        make("zip", "s", {"-q", "-P", "pw", "../keep.zip", "a.txt", "b.txt"});
        QDir().mkpath(desktop() + "/keep");
        ReaderTest::writeFiles(desktop(), {{"keep/old.txt", "old\n"}});

        // One file among empty folders goes onto the Desktop itself: every top-level item it made goes.
        QDir().mkpath(files_ + "/m/empty1");
        QDir().mkpath(files_ + "/m/empty2");
        ReaderTest::writeFiles(files_, {{"m/only.txt", "only\n"}});
        make("zip", "m", {"-q", "-r", "-P", "pw", "../onefile.zip", "empty1", "empty2", "only.txt"});
        ReaderTest::writeFiles(desktop(), {{"mine.txt", "mine\n"}});

        const auto calls = process({archive("cancelled.zip"), archive("keep.zip"), archive("onefile.zip")},
                                   [&](PasswordWindowController* dialog) { click(dialog, "btnCancel"); });
        expectNotifications(calls, {{"Tarvex: Cancel", "Unzip of cancelled.zip was cancelled"},
                                    {"Tarvex: Cancel", "Unzip of keep.zip was cancelled"},
                                    {"Tarvex: Cancel", "Unzip of onefile.zip was cancelled"}});
        QCOMPARE(QDir(desktop()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 (QStringList{"keep", "mine.txt"}));

        // The progress window's close box stops the extraction at its next step, whatever the dialog said.
        make("zip", "s", {"-q", "-P", "pw", "../stopped.zip", "a.txt", "b.txt"});
        const auto stopped = process({archive("stopped.zip")}, [&](PasswordWindowController* dialog) {
            QVERIFY(!dialog->parentWidget()->close());
            click(dialog, "btnOK", "pw");
        });
        expectNotifications(stopped, {{"Tarvex: Cancel", "Unzip of stopped.zip was cancelled"}});
        QVERIFY(!QFileInfo::exists(desktop() + "/stopped"));
        QVERIFY(!QFileInfo::exists(desktop() + "/cancelled"));
        QCOMPARE(read(desktop() + "/keep/old.txt"), QStringLiteral("old\n"));
        QCOMPARE(QDir(desktop() + "/keep").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"old.txt"});
        QVERIFY(logged_.size() >= 2);
    }

    // What others write while an extraction waits for its passphrase is theirs: a cancel removes only what
    // the extraction itself made.
    void aCancelKeepsWhatWasWrittenMeanwhile() {
        // One folder, a plain entry before an encrypted one: docs/ lands on the Desktop itself.
        ReaderTest::writeFiles(files_, {{"d/docs/plain.txt", "plain\n"}, {"d/docs/secret.txt", "secret\n"}});
        make("zip", "d", {"-q", "../docs.zip", "docs", "docs/plain.txt"});
        make("zip", "d", {"-q", "-P", "pw", "../docs.zip", "docs/secret.txt"});
        auto calls = process({archive("docs.zip")}, [&](PasswordWindowController* dialog) {
            ReaderTest::writeFiles(desktop(), {{"docs/mine.txt", "mine\n"}});
            click(dialog, "btnCancel");
        });
        expectNotifications(calls, {{"Tarvex: Cancel", "Unzip of docs.zip was cancelled"}});
        QCOMPARE(QDir(desktop() + "/docs").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"mine.txt"});
        QCOMPARE(read(desktop() + "/docs/mine.txt"), QStringLiteral("mine\n"));

        // Two report.zip: the second waits for its passphrase while the first finishes into the same
        // Desktop/report; cancelling the second leaves the first one's files.
        ReaderTest::writeFiles(files_, {{"x/a.txt", "a\n"}, {"x/b.txt", "b\n"}, {"y/one.txt", "1\n"},
                                        {"y/two.txt", "2\n"}, {"y/three.txt", "3\n"}});
        make("zip", "x", {"-q", "-P", "pw", "report.zip", "a.txt", "b.txt"});
        make("zip", "y", {"-q", "report.zip", "one.txt", "two.txt", "three.txt"});
        bool firstDone = false;
        calls = process({archive("x/report.zip")}, [&](PasswordWindowController* dialog) {
            if (!firstDone) {
                const qsizetype before = service_->calls().size();
                processor_->processArchiveURL(archive("y/report.zip"));
                firstDone = ReaderTest::waitUntil([&] { return service_->calls().size() > before; }, 60000);
                QVERIFY(firstDone);
            }
            click(dialog, "btnCancel");
        }, 2);
        expectNotifications(calls, {{"Tarvex: Success", "3 file(s) from report.zip were unzipped to " + desktop() + "/report"},
                                    {"Tarvex: Cancel", "Unzip of report.zip was cancelled"}});
        QCOMPARE(QDir(desktop() + "/report").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 (QStringList{"one.txt", "three.txt", "two.txt"}));
        QCOMPARE(read(desktop() + "/report/two.txt"), QStringLiteral("2\n"));
    }

    void archivesThatDoNotOpenAreReported() {
        ReaderTest::writeFiles(files_, {{"broken.zip", "this is not an archive\n"}});
        const auto calls = process({archive("broken.zip"), archive("absent.zip")});
        expectNotifications(calls, {{"Tarvex: Error", "Unsupported or invalid archive: broken.zip, status: 1"},
                                    {"Tarvex: Error", "Unsupported or invalid archive: absent.zip, status: 15"}});
        // The progress window closes however the archive ended.
        QVERIFY(ReaderTest::visibleWindows<ProgressWindowController>().isEmpty());
    }

    // A missing Desktop folder is made where the user folders name it (else $HOME/Desktop); one that cannot
    // be made is reported as such, never as a broken archive.
    void aMissingDesktopIsMadeWhereTheUserFoldersNameIt() {
        ReaderTest::writeFiles(files_, {{"s/a.txt", "a\n"}, {"s/b.txt", "b\n"}});
        make("zip", "s", {"-q", "../fine.zip", "a.txt", "b.txt"});
        ReaderTest::writeFiles(home_->home(), {{"blocked", "a file, not a folder\n"}});
        const QString userDirs = home_->path(".config/user-dirs.dirs");
        const struct {
            QByteArray line; // of user-dirs.dirs; empty: no such file
            QString folder;
        } rows[] = {
            {"XDG_DESKTOP_DIR=\"$HOME/Work Desk\"\n", desktop()},
            {"XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n", home_->path("Desktop")},
            {"", home_->path("Desktop")},
            {"XDG_DESKTOP_DIR=\"$HOME/Nested/Work Desk\"\n", home_->path("Nested/Work Desk")},
        };
        for (const auto& row : rows) {
            QDir(desktop()).removeRecursively();
            QDir(home_->path("Desktop")).removeRecursively();
            QFile::remove(userDirs);
            if (!row.line.isEmpty()) {
                ReaderTest::writeFiles(home_->path(".config"), {{"user-dirs.dirs", row.line}});
            }
            const auto calls = process({archive("fine.zip")});
            expectNotifications(calls, {{"Tarvex: Success", "2 file(s) from fine.zip were unzipped to " + row.folder + "/fine"}});
            QCOMPARE(read(row.folder + "/fine/b.txt"), QStringLiteral("b\n"));
        }

        ReaderTest::writeFiles(home_->path(".config"), {{"user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/blocked/Desk\"\n"}});
        const auto calls = process({archive("fine.zip")});
        expectNotifications(calls, {{"Tarvex: Error", "Unable to unzip fine.zip: The Desktop folder " +
                                                          home_->path("blocked/Desk") + " could not be made: Not a directory"}});
    }

    void twoArchivesAtOnceEachWithItsOwnWindowAndDialog() {
        ReaderTest::writeFiles(files_, {{"s/a.txt", "a\n"}, {"s/b.txt", "b\n"}});
        make("zip", "s", {"-q", "-P", "one", "../first.zip", "a.txt", "b.txt"});
        make("7z", "s", {"a", "-tzip", "-ptwo", "../second.zip", "a.txt", "b.txt"});
        bool sawBoth = false;
        const auto calls = process({archive("first.zip"), archive("second.zip")}, [&](PasswordWindowController*) {
            const auto dialogs = ReaderTest::visibleWindows<PasswordWindowController>();
            if (dialogs.size() < 2 && !sawBoth) {
                return;
            }
            sawBoth = true;
            for (auto* dialog : dialogs) {
                const QString title = dialog->parentWidget()->windowTitle();
                click(dialog, "btnOK", title.contains("first") ? "one" : "two");
            }
        });
        QVERIFY(sawBoth);
        expectNotifications(calls, {{"Tarvex: Success", "2 file(s) from first.zip were unzipped to " + desktop() + "/first"},
                                    {"Tarvex: Success", "2 file(s) from second.zip were unzipped to " + desktop() + "/second"}});
        QVERIFY(processor_->processors().empty());
    }

    void aMissingNotificationServiceIsLoggedNotFatal() {
        service_.reset();
        logged_.clear();
        ReaderTest::writeFiles(files_, {{"s/a.txt", "a\n"}});
        make("zip", "s", {"-q", "../quiet.zip", "a.txt"});
        processor_->processArchiveURL(archive("quiet.zip"));
        QVERIFY(ReaderTest::waitUntil([&] {
            return processor_->processors().empty() && logged_.filter("Desktop notification not delivered").size() == 1;
        }));
        QCOMPARE(read(desktop() + "/a.txt"), QStringLiteral("a\n"));
        // The user still reads the result, in a window of the application.
        QMessageBox* shown = nullptr;
        QVERIFY(ReaderTest::waitUntil([&] {
            const auto windows = ReaderTest::visibleWindows<QMessageBox>();
            shown = windows.isEmpty() ? nullptr : windows.front();
            return shown != nullptr;
        }));
        QCOMPARE(shown->windowTitle(), QStringLiteral("Tarvex: Success"));
        QCOMPARE(shown->text(), "1 file(s) from quiet.zip were unzipped to " + desktop());
        ReaderTest::saveWindowPicture(shown, "pipeline_result_without_notification_service");
    }

    // The result windows go, and what they leave for later deletion is deleted, before the application
    // object does: the program ends with nothing of the tests still open.
    void cleanupTestCase() {
        for (QMessageBox* window : ReaderTest::visibleWindows<QMessageBox>()) {
            window->close();
        }
        QVERIFY(ReaderTest::waitUntil([] { return ReaderTest::visibleWindows<QMessageBox>().isEmpty(); }));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};

QTEST_MAIN(PipelineTest)
#include "pipeline_test.moc"
