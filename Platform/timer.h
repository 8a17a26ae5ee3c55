// Repeating timers on the main run loop. The host installs the scheduler at start-up (the
// application's event loop); a timer fires on the main queue's thread until it is invalidated.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace Platform {

class RepeatingTimer {
public:
    virtual ~RepeatingTimer();
    // Stops the timer for good; no tick runs after it returns (called on the main queue's thread).
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

using TimerScheduler = std::function<std::unique_ptr<RepeatingTimer>(std::chrono::milliseconds period,
                                                                      std::function<void()> tick)>;

void setTimerScheduler(TimerScheduler scheduler);
// Schedules `tick` every `period` on the main run loop; none when the host installed no scheduler.
std::unique_ptr<RepeatingTimer> scheduleRepeatingTimer(std::chrono::milliseconds period, std::function<void()> tick);

} // namespace Platform
