// SharedView: the holder of a value the framework hands to its host (a list, a model). The value is
// immutable once stored; a refresh stores a new one whole, so a reader on any thread gets either the
// old value or the new one, never a half-built one. An empty pointer means "absent".
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace VorlaneBridge {

template <class T>
class SharedView {
public:
    std::shared_ptr<const T> load() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return value_;
    }
    void store(std::shared_ptr<const T> value) {
        std::shared_ptr<const T> previous;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            previous = std::exchange(value_, std::move(value));
        }
        // The previous value is released here, outside the lock.
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const T> value_;
};

} // namespace VorlaneBridge
