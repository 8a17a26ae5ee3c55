// A test main loop with a fake clock: the test's thread plays the main thread (a run-loop queue
// installed as the main queue), repeating timers are scheduled on a clock that moves only when the
// test advances it, and the global queue is a pool of the test's own. Everything is put back when the
// loop ends.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/dispatch_queue.h"
#include "Platform/timer.h"

namespace VxMeta::testing {

class TestMainLoop {
public:
    struct TimerRecord {
        std::chrono::milliseconds period;
        std::chrono::milliseconds nextFire;
        std::function<void()> tick;
        bool valid = true;
    };

    TestMainLoop() : main_(std::make_shared<Platform::RunLoopQueue>()), global_(std::make_shared<Platform::ThreadPoolQueue>(2)) {
        main_->bindToCurrentThread();
        Platform::setMainQueue(main_);
        Platform::setGlobalQueue(global_);
        Platform::setTimerScheduler([this](std::chrono::milliseconds period, std::function<void()> tick) {
            return schedule(period, std::move(tick));
        });
    }
    ~TestMainLoop() {
        Platform::setTimerScheduler(nullptr);
        Platform::setGlobalQueue(nullptr);
        global_.reset(); // runs what is left and joins its threads
        main_->runPending();
        Platform::setMainQueue(nullptr);
    }
    TestMainLoop(const TestMainLoop&) = delete;
    TestMainLoop& operator=(const TestMainLoop&) = delete;

    Platform::RunLoopQueue& main() { return *main_; }

    // Runs main-queue work until `done` holds or `limit` (real time) has passed; whether it held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        main_->runFor(limit, done);
        return done();
    }
    size_t runPending() { return main_->runPending(); }

    // Moves the fake clock on; every timer due by then ticks on this (the main) thread, once per
    // period that passed.
    void advance(std::chrono::milliseconds by) {
        const auto end = now_ + by;
        for (;;) {
            std::shared_ptr<TimerRecord> due;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                for (const auto& timer : timers_) {
                    if (timer->valid && timer->nextFire <= end && (!due || timer->nextFire < due->nextFire)) due = timer;
                }
                if (due) {
                    now_ = due->nextFire;
                    due->nextFire += due->period;
                }
            }
            if (!due) break;
            due->tick();
        }
        std::lock_guard<std::mutex> guard(mutex_);
        now_ = end;
    }

    // Timers still valid, and the period each was made with.
    std::vector<std::chrono::milliseconds> runningTimerPeriods() {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<std::chrono::milliseconds> periods;
        for (const auto& timer : timers_) {
            if (timer->valid) periods.push_back(timer->period);
        }
        return periods;
    }
    size_t timersEverScheduled() {
        std::lock_guard<std::mutex> guard(mutex_);
        return timers_.size();
    }

private:
    class FakeTimer : public Platform::RepeatingTimer {
    public:
        FakeTimer(TestMainLoop& loop, std::shared_ptr<TimerRecord> record) : loop_(loop), record_(std::move(record)) {}
        ~FakeTimer() override { FakeTimer::invalidate(); }
        void invalidate() override {
            std::lock_guard<std::mutex> guard(loop_.mutex_);
            record_->valid = false;
        }
        bool isValid() const override {
            std::lock_guard<std::mutex> guard(loop_.mutex_);
            return record_->valid;
        }

    private:
        TestMainLoop& loop_;
        std::shared_ptr<TimerRecord> record_;
    };

    std::unique_ptr<Platform::RepeatingTimer> schedule(std::chrono::milliseconds period, std::function<void()> tick) {
        std::lock_guard<std::mutex> guard(mutex_);
        auto record = std::make_shared<TimerRecord>(TimerRecord{period, now_ + period, std::move(tick)});
        timers_.push_back(record);
        return std::make_unique<FakeTimer>(*this, record);
    }

    std::shared_ptr<Platform::RunLoopQueue> main_;
    std::shared_ptr<Platform::ThreadPoolQueue> global_;
    std::mutex mutex_;
    std::chrono::milliseconds now_{0};
    std::vector<std::shared_ptr<TimerRecord>> timers_;
};

} // namespace VxMeta::testing
