#include "TarvexReader/QtPlatform/main_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <utility>

namespace TarvexReader {

bool isMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void runOnMainThreadAndWait(const std::function<void()>& work) {
    if (isMainThread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&work] { work(); }, Qt::BlockingQueuedConnection);
}

void runOnMainThreadAsync(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        work();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void QtMainQueue::async(std::function<void()> work) {
    runOnMainThreadAsync(std::move(work));
}

bool QtMainQueue::isCurrent() const {
    return isMainThread();
}

namespace {

class QtRepeatingTimer : public Platform::RepeatingTimer {
public:
    QtRepeatingTimer(std::chrono::milliseconds period, std::function<void()> tick) : timer_(new QTimer()) {
        timer_->setInterval(period);
        QObject::connect(timer_.data(), &QTimer::timeout, timer_.data(), std::move(tick));
        timer_->start();
    }
    ~QtRepeatingTimer() override { QtRepeatingTimer::invalidate(); }

    void invalidate() override {
        if (timer_) {
            timer_->stop();
            timer_->deleteLater();
            timer_.clear();
        }
    }
    bool isValid() const override { return !timer_.isNull() && timer_->isActive(); }

private:
    QPointer<QTimer> timer_;
};

} // namespace

std::unique_ptr<Platform::RepeatingTimer> scheduleQtRepeatingTimer(std::chrono::milliseconds period,
                                                                    std::function<void()> tick) {
    std::unique_ptr<Platform::RepeatingTimer> timer;
    runOnMainThreadAndWait([&] { timer = std::make_unique<QtRepeatingTimer>(period, std::move(tick)); });
    return timer;
}

void installQtMainQueue() {
    Platform::setMainQueue(std::make_shared<QtMainQueue>());
    Platform::setTimerScheduler(&scheduleQtRepeatingTimer);
}

} // namespace TarvexReader
