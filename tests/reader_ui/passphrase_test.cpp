// The passphrase dialog on an archive's progress window, asked from extraction threads.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <optional>
#include <thread>

#include "TarvexReader/Passphrase/modal_querying_decrypt_delegate.h"
#include "TarvexReader/Passphrase/password_window_controller.h"
#include "TarvexReader/Progress/progress_window_controller.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "reader_ui/reader_test_support.h"

using namespace TarvexReader;
using Zentile::ZIPDecryptDecision;

namespace {

std::shared_ptr<ProgressWindowController> makeWindow(const QString& title) {
    auto window = std::shared_ptr<ProgressWindowController>(new ProgressWindowController(),
                                                            [](ProgressWindowController* w) { w->deleteLater(); });
    window->setWindowTitle(title);
    window->show();
    return window;
}

// One question asked on an extraction thread of its own.
class Question {
public:
    Question(std::shared_ptr<ModalQueryingDecryptDelegate> delegate, std::optional<std::string> file,
             std::uint32_t attempt)
        : thread_([this, delegate, file, attempt] {
              answer_ = delegate->passwordForArchive(nullptr, file, nullptr, attempt);
              done_ = true;
          }) {}
    ~Question() { thread_.join(); }

    bool waitForAnswer() { return ReaderTest::waitUntil([this] { return done_.load(); }); }
    bool answered() const { return done_.load(); }
    ZIPDecryptDecision decision() const { return answer_->decision(); }
    std::optional<std::string> password() const { return answer_->password(); }

private:
    std::optional<Zentile::ZIPDecryptResult> answer_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// The dialog shown on `window`, once it is there.
PasswordWindowController* dialogOn(QWidget* window) {
    PasswordWindowController* found = nullptr;
    ReaderTest::waitUntil([&] {
        for (auto* dialog : window->findChildren<PasswordWindowController*>()) {
            if (dialog->isVisible()) {
                found = dialog;
                return true;
            }
        }
        return false;
    });
    return found;
}

void click(QWidget* dialog, const char* button) {
    QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
}

} // namespace

class PassphraseTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installQtMainQueue(); }

    void theStatementNamesTheAttemptAndOKAnswersThePassword() {
        auto window = makeWindow("Extracting a.zip");
        auto delegate = std::make_shared<ModalQueryingDecryptDelegate>(window);
        QCOMPARE(delegate->maximumNumberOfRetries(), 3U);
        const char* statements[] = {"Please enter the passphrase to decrypt this file",
                                    "Please enter the passphrase to decrypt this file (attempt 2 of 3)",
                                    "Please enter the passphrase to decrypt this file (attempt 3 of 3)"};
        for (std::uint32_t attempt = 0; attempt < 3; ++attempt) {
            Question question(delegate, std::string("docs/secret.txt"), attempt);
            PasswordWindowController* dialog = dialogOn(window.get());
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowModality(), Qt::WindowModal);
            QCOMPARE(dialog->findChild<QLabel*>("txtStatement")->text(), QString::fromLatin1(statements[attempt]));
            QCOMPARE(dialog->findChild<QLabel*>("txtFilePath")->text(), QStringLiteral("docs/secret.txt"));
            auto* password = dialog->findChild<QLineEdit*>("txtPassword");
            QCOMPARE(password->echoMode(), QLineEdit::Password);
            QTest::keyClicks(password, QStringLiteral("pa"));
            password->insert(QStringLiteral("\u00e4"));
            QTest::keyClicks(password, QStringLiteral("ssword ") + QString::number(attempt));
            ReaderTest::saveWindowPicture(dialog, QStringLiteral("passphrase_attempt_%1").arg(attempt));
            QVERIFY(!question.answered());
            click(dialog, "btnOK");
            QVERIFY(question.waitForAnswer());
            QCOMPARE(question.decision(), ZIPDecryptDecision::UsePassword);
            QCOMPARE(question.password(), std::optional<std::string>("pa\xC3\xA4ssword " + std::to_string(attempt)));
        }
        // OK on an empty field answers the empty password.
        Question empty(delegate, std::string("b.txt"), 0);
        click(dialogOn(window.get()), "btnOK");
        QVERIFY(empty.waitForAnswer());
        QCOMPARE(empty.decision(), ZIPDecryptDecision::UsePassword);
        QCOMPARE(empty.password(), std::optional<std::string>(""));
    }

    void skipCancelAndSkipAllForOneArchiveOnly() {
        auto window = makeWindow("Extracting a.zip");
        auto delegate = std::make_shared<ModalQueryingDecryptDelegate>(window);
        const std::pair<const char*, ZIPDecryptDecision> rows[] = {{"btnSkip", ZIPDecryptDecision::SkipFile},
                                                                   {"btnCancel", ZIPDecryptDecision::Cancel}};
        for (const auto& [button, decision] : rows) {
            Question question(delegate, std::string("a.txt"), 0);
            click(dialogOn(window.get()), button);
            QVERIFY(question.waitForAnswer());
            QCOMPARE(question.decision(), decision);
            QVERIFY(!question.password().has_value());
        }
        {
            Question question(delegate, std::string("a.txt"), 0);
            click(dialogOn(window.get()), "btnSkipAll");
            QVERIFY(question.waitForAnswer());
            QCOMPARE(question.decision(), ZIPDecryptDecision::SkipAll);
        }
        // Every later question of this archive is skipped without a dialog...
        {
            Question question(delegate, std::string("b.txt"), 0);
            QVERIFY(question.waitForAnswer());
            QCOMPARE(question.decision(), ZIPDecryptDecision::SkipAll);
        }
        // ...while another archive still asks.
        auto otherWindow = makeWindow("Extracting b.zip");
        auto other = std::make_shared<ModalQueryingDecryptDelegate>(otherWindow);
        Question question(other, std::string("b.txt"), 0);
        PasswordWindowController* dialog = dialogOn(otherWindow.get());
        QVERIFY(dialog != nullptr);
        click(dialog, "btnSkip");
        QVERIFY(question.waitForAnswer());
        QCOMPARE(question.decision(), ZIPDecryptDecision::SkipFile);
    }

    void twoArchivesAskAtOnceEachOnItsOwnWindow() {
        auto windowA = makeWindow("Extracting a.zip");
        auto windowB = makeWindow("Extracting b.zip");
        Question a(std::make_shared<ModalQueryingDecryptDelegate>(windowA), std::string("in-a.txt"), 0);
        Question b(std::make_shared<ModalQueryingDecryptDelegate>(windowB), std::string("in-b.txt"), 0);
        PasswordWindowController* dialogA = dialogOn(windowA.get());
        PasswordWindowController* dialogB = dialogOn(windowB.get());
        QVERIFY(dialogA != nullptr && dialogB != nullptr);
        QCOMPARE(dialogA->txtFilePath->text(), QStringLiteral("in-a.txt"));
        QCOMPARE(dialogB->txtFilePath->text(), QStringLiteral("in-b.txt"));
        QTest::keyClicks(dialogB->txtPassword, QStringLiteral("bee"));
        click(dialogB, "btnOK");
        QVERIFY(b.waitForAnswer());
        QVERIFY(!a.answered());
        QCOMPARE(b.password(), std::optional<std::string>("bee"));
        click(dialogA, "btnCancel");
        QVERIFY(a.waitForAnswer());
        QCOMPARE(a.decision(), ZIPDecryptDecision::Cancel);
    }

    // The entry's name comes from the archive: the prompt shows it as written, never as markup.
    void aHostileEntryNameShowsAsWritten() {
        ReaderTest::TrapFile trap;
        auto window = makeWindow("Extracting a.zip");
        auto delegate = std::make_shared<ModalQueryingDecryptDelegate>(window);
        const std::string name = "docs/" + trap.imageMarkup().toStdString() + "<b>secret</b>.txt";
        Question question(delegate, name, 1);
        PasswordWindowController* dialog = dialogOn(window.get());
        QVERIFY(dialog != nullptr);
        for (const char* label : {"txtFilePath", "txtStatement"}) {
            QCOMPARE(dialog->findChild<QLabel*>(label)->textFormat(), Qt::PlainText);
            dialog->findChild<QLabel*>(label)->sizeHint();
        }
        QCOMPARE(dialog->txtFilePath->text(), QString::fromStdString(name));
        ReaderTest::saveWindowPicture(dialog, QStringLiteral("passphrase_hostile_name"));
        click(dialog, "btnCancel");
        QVERIFY(question.waitForAnswer());
        QCOMPARE(trap.timesOpened(), 0);
    }

    void aQuestionThatCannotBeShownIsCancelledAtOnce() {
        auto window = makeWindow("Extracting a.zip");
        auto delegate = std::make_shared<ModalQueryingDecryptDelegate>(window);
        {
            Question noPath(delegate, std::nullopt, 0);
            QVERIFY(noPath.waitForAnswer());
            QCOMPARE(noPath.decision(), ZIPDecryptDecision::Cancel);
        }
        {
            auto noWindow = std::make_shared<ModalQueryingDecryptDelegate>(nullptr);
            Question question(noWindow, std::string("a.txt"), 0);
            QVERIFY(question.waitForAnswer());
            QCOMPARE(question.decision(), ZIPDecryptDecision::Cancel);
        }
        // The window goes away under its dialog.
        auto* raw = new ProgressWindowController();
        raw->show();
        auto fragile = std::make_shared<ModalQueryingDecryptDelegate>(
            std::shared_ptr<QWidget>(raw, [](QWidget*) {}));
        Question question(fragile, std::string("a.txt"), 0);
        QVERIFY(dialogOn(raw) != nullptr);
        delete raw;
        QVERIFY(question.waitForAnswer());
        QCOMPARE(question.decision(), ZIPDecryptDecision::Cancel);
        // Asked on the main thread it cannot wait for its own dialog.
        auto answer = delegate->passwordForArchive(nullptr, std::string("a.txt"), nullptr, 0);
        QVERIFY(answer.has_value());
        QCOMPARE(answer->decision(), ZIPDecryptDecision::Cancel);
    }
};

QTEST_MAIN(PassphraseTest)
#include "passphrase_test.moc"
