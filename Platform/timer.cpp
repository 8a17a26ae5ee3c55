#include "Platform/timer.h"

#include <mutex>
#include <utility>

namespace Platform {

namespace {
std::mutex schedulerMutex;
TimerScheduler& schedulerSlot() {
    static TimerScheduler scheduler;
    return scheduler;
}
} // namespace

RepeatingTimer::~RepeatingTimer() = default;

void setTimerScheduler(TimerScheduler scheduler) {
    std::lock_guard<std::mutex> guard(schedulerMutex);
    schedulerSlot() = std::move(scheduler);
}

std::unique_ptr<RepeatingTimer> scheduleRepeatingTimer(std::chrono::milliseconds period, std::function<void()> tick) {
    TimerScheduler scheduler;
    {
        std::lock_guard<std::mutex> guard(schedulerMutex);
        scheduler = schedulerSlot();
    }
    if (!scheduler) {
        return nullptr;
    }
    return scheduler(period, std::move(tick));
}

} // namespace Platform
