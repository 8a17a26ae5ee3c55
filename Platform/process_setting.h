// A value the host sets once for the whole process (the main queue, the timer scheduler, the default
// notification centre, the log sink) and any thread reads: a copy is handed out under a lock, so a
// reader never sees a value half replaced.
#pragma once

#include <mutex>
#include <utility>

namespace Platform {

template <typename T>
class ProcessSetting {
public:
    T get() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return value_;
    }
    void set(T value) {
        std::lock_guard<std::mutex> guard(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

} // namespace Platform
