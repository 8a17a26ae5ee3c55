// ThreadScopedValue: a value that each thread may change for itself for a while. A thread's own value
// exists while a handle made on that thread lives (Value_Auto); a ScopedValue_Auto also sets the
// thread's value and puts the previous one back when it goes. Other threads keep seeing the default.
// The MFA model uses it to turn remote pairing creation off for the thread that fetches the MFA page.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace VxMeta::ThreadScopedValue {

template <class T>
class Value;

// While it lives, the creating thread's entry of the value exists. Refers to the value weakly: once
// the value is gone it does nothing. Released on the thread that made it.
template <class T>
class Value_Auto {
public:
    explicit Value_Auto(const std::shared_ptr<Value<T>>& value) : value_(value) { value->_increment(); }
    virtual ~Value_Auto() {
        if (std::shared_ptr<Value<T>> value = value_.lock()) value->_decrement();
    }
    Value_Auto(const Value_Auto&) = delete;
    Value_Auto& operator=(const Value_Auto&) = delete;

protected:
    std::weak_ptr<Value<T>> value_;
};

// Sets the creating thread's value and, when released, restores the value the thread had before.
template <class T>
class ScopedValue_Auto : public Value_Auto<T> {
public:
    ScopedValue_Auto(const std::shared_ptr<Value<T>>& value, T newValue)
        : Value_Auto<T>(value), previous_(value->Get()) {
        value->Set(std::move(newValue));
    }
    ~ScopedValue_Auto() override {
        if (std::shared_ptr<Value<T>> value = this->value_.lock()) value->Set(previous_);
    }

private:
    T previous_;
};

// The per-thread values (with a use count each) and the default. Held by shared pointer: it hands out
// handles that refer to it. Every operation works on the calling thread's entry, under the value's
// own recursive mutex.
template <class T>
class Value : public std::enable_shared_from_this<Value<T>> {
public:
    explicit Value(T defaultValue) : default_(std::move(defaultValue)) {}

    // The calling thread's value when it has one, else the default.
    T Get() const {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        auto found = values_.find(std::this_thread::get_id());
        return found != values_.end() ? found->second.second : default_;
    }
    // Sets the calling thread's value, creating its entry (use count 0) when missing.
    void Set(T value) {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        auto found = values_.find(std::this_thread::get_id());
        if (found == values_.end()) {
            values_.emplace(std::this_thread::get_id(), std::make_pair(uint64_t{0}, std::move(value)));
        } else {
            found->second.second = std::move(value);
        }
    }
    // A handle that gives the calling thread `value` while it lives.
    std::shared_ptr<ScopedValue_Auto<T>> ScopedChange(T value) {
        return std::make_shared<ScopedValue_Auto<T>>(this->shared_from_this(), std::move(value));
    }
    // Whether the calling thread has an entry.
    bool hasEntry() const {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        return values_.count(std::this_thread::get_id()) != 0;
    }

    void _increment() {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        auto found = values_.find(std::this_thread::get_id());
        if (found == values_.end()) {
            found = values_.emplace(std::this_thread::get_id(), std::make_pair(uint64_t{0}, default_)).first;
        }
        ++found->second.first;
    }
    void _decrement() {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        auto found = values_.find(std::this_thread::get_id());
        if (found == values_.end()) return;
        if (found->second.first > 0) --found->second.first;
        Erase();
    }
    // Removes the calling thread's entry when no handle uses it.
    void Erase() {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        auto found = values_.find(std::this_thread::get_id());
        if (found != values_.end() && found->second.first == 0) values_.erase(found);
    }

private:
    std::map<std::thread::id, std::pair<uint64_t, T>> values_;
    T default_;
    mutable std::recursive_mutex mutex_;
};

} // namespace VxMeta::ThreadScopedValue
