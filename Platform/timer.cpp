#include "Platform/timer.h"

#include <utility>

#include "Platform/process_setting.h"

namespace Platform {

namespace {
ProcessSetting<TimerScheduler>& schedulerSetting() {
    static ProcessSetting<TimerScheduler> setting;
    return setting;
}
} // namespace

RepeatingTimer::~RepeatingTimer() = default;

void setTimerScheduler(TimerScheduler scheduler) {
    schedulerSetting().set(std::move(scheduler));
}

std::unique_ptr<RepeatingTimer> scheduleRepeatingTimer(std::chrono::milliseconds period, std::function<void()> tick) {
    TimerScheduler scheduler = schedulerSetting().get();
    if (!scheduler) {
        return nullptr;
    }
    return scheduler(period, std::move(tick));
}

} // namespace Platform
