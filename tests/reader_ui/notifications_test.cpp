// Desktop notifications on the test's own session bus: the body as a service that reads markup must
// get it (escaped) or as a plain one does, and, with no notification service on the bus, the same
// title and text in a message window of the application, shown as written, and in the system log.
#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QWindow>
#include <QtTest>

#include "Platform/system_log.h"
#include "Platform/user_notification.h"
#include "TarvexReader/QtPlatform/dbus_user_notification_center.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "reader_ui/reader_test_support.h"

#include <thread>

using namespace TarvexReader;

namespace {

QList<QMessageBox*> messageWindows() {
    QList<QMessageBox*> found;
    for (QMessageBox* window : ReaderTest::visibleWindows<QMessageBox>()) {
        if (window->objectName() == QString::fromLatin1(DBusUserNotificationCenter::kMessageWindowName)) {
            found.append(window);
        }
    }
    return found;
}

} // namespace

class NotificationsTest : public QObject {
    Q_OBJECT
private:
    std::shared_ptr<DBusUserNotificationCenter> center_ = std::make_shared<DBusUserNotificationCenter>();
    QStringList logged_;

private slots:
    void initTestCase() {
        installQtMainQueue();
        Platform::setSystemLogSink([this](const std::string& line) { logged_ << QString::fromStdString(line); });
    }

    void cleanup() {
        for (QMessageBox* window : messageWindows()) {
            window->close();
        }
        logged_.clear();
    }

    // The summary is plain by the protocol; the body is escaped only for a service that reads markup.
    void theBodyIsEscapedForAServiceThatReadsMarkup_data() {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("body");
        QTest::newRow("markup") << QStringList{QStringLiteral("body-markup")}
                                << QStringLiteral("1 file(s) from &lt;img src=\"x\"&gt; &amp; &lt;b&gt;.zip were unzipped");
        QTest::newRow("plain") << QStringList{} << QStringLiteral("1 file(s) from <img src=\"x\"> & <b>.zip were unzipped");
    }

    void theBodyIsEscapedForAServiceThatReadsMarkup() {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, body);
        ReaderTest::NotificationService service(capabilities);
        QVERIFY(service.started());
        center_->deliverNotification({"Tarvex: Success <b>", "1 file(s) from <img src=\"x\"> & <b>.zip were unzipped", "id-1"});
        QVERIFY(ReaderTest::waitUntil([&] { return service.calls().size() == 1; }));
        const QJsonObject call = service.calls().front();
        QCOMPARE(call["summary"].toString(), QStringLiteral("Tarvex: Success <b>"));
        QCOMPARE(call["body"].toString(), body);
        service.roundTrip();
        QVERIFY(messageWindows().isEmpty());
        QVERIFY(logged_.isEmpty());
    }

    // Nobody on the bus shows notifications: the user reads the same title and text in a message
    // window, as written (an image reference in an archive's name is never loaded), and the log says so.
    void withoutAServiceAMessageWindowShowsIt() {
        ReaderTest::TrapFile trap;
        const QString title = QStringLiteral("Tarvex: Cancel [*]");
        const QString text = QStringLiteral("Unzip of ") + trap.imageMarkup() + QStringLiteral("<b>x</b>.zip was cancelled");
        // Asked from a worker thread, as the library's callers may.
        std::thread worker([&] { center_->deliverNotification({title.toStdString(), text.toStdString(), std::nullopt}); });
        worker.join();
        QVERIFY(ReaderTest::waitUntil([] { return messageWindows().size() == 1; }));
        QMessageBox* window = messageWindows().front();
        QCOMPARE(window->windowHandle()->title(), title);
        QCOMPARE(window->text(), text);
        QCOMPARE(window->textFormat(), Qt::PlainText);
        QCOMPARE(window->windowModality(), Qt::NonModal);
        for (QLabel* label : window->findChildren<QLabel*>()) {
            label->sizeHint();
            if (label->text() == text) {
                QCOMPARE(label->textFormat(), Qt::PlainText);
            }
        }
        ReaderTest::saveWindowPicture(window, QStringLiteral("notification-message-window"));
        QCOMPARE(trap.timesOpened(), 0);
        QCOMPARE(logged_.size(), 1);
        QVERIFY2(logged_.front().startsWith(QStringLiteral("Desktop notification not delivered: ")), qPrintable(logged_.front()));
        QVERIFY(logged_.front().contains(title + QStringLiteral(": ") + text));

        // OK closes it; the next undelivered notification gets a window of its own.
        window->button(QMessageBox::Ok)->click();
        QVERIFY(ReaderTest::waitUntil([] { return messageWindows().isEmpty(); }));
        center_->deliverNotification({"Tarvex: Success", "2 file(s) from a.zip were unzipped to /home/a", std::nullopt});
        QVERIFY(ReaderTest::waitUntil([] { return messageWindows().size() == 1; }));
        QCOMPARE(messageWindows().front()->text(), QStringLiteral("2 file(s) from a.zip were unzipped to /home/a"));
    }
};

QTEST_MAIN(NotificationsTest)
#include "notifications_test.moc"
