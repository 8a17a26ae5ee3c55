// The application's main thread (the Qt event loop) as the main queue: work put there from any
// thread, synchronously or not, and the platform layer's main queue and timers over it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "Platform/dispatch_queue.h"
#include "Platform/timer.h"

namespace TarvexReader {

bool isMainThread();
// Runs `work` on the main thread and waits for it; runs it at once on the main thread itself (or
// without an application object).
void runOnMainThreadAndWait(const std::function<void()>& work);
// Puts `work` on the main thread's queue and returns at once.
void runOnMainThreadAsync(std::function<void()> work);

class QtMainQueue : public Platform::DispatchQueue {
public:
    void async(std::function<void()> work) override;
    bool isCurrent() const override;
};

// A QTimer on the main thread behind the platform's repeating-timer interface.
std::unique_ptr<Platform::RepeatingTimer> scheduleQtRepeatingTimer(std::chrono::milliseconds period,
                                                                    std::function<void()> tick);

// Installs the main queue and the timer scheduler above; called once the application object exists.
void installQtMainQueue();

} // namespace TarvexReader
