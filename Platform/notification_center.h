// The notification centre: named notices posted by one part of the program to whoever observes them.
// A post runs the observers of its name synchronously on the posting thread, outside the centre's
// lock, so an observer may post, add or remove observers itself. The default centre is the one every
// part of the process shares.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Platform {

struct Notification {
    std::string name;
    // The poster (compared by identity only; never dereferenced by the centre).
    const void* object = nullptr;
    // Details by key; for example an `Error` or a text.
    std::map<std::string, std::any> userInfo;

    // The value under `key` when it holds a T; none otherwise.
    template <typename T>
    const T* userInfoValue(const std::string& key) const {
        auto found = userInfo.find(key);
        return found == userInfo.end() ? nullptr : std::any_cast<T>(&found->second);
    }
};

class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;
    using Token = uint64_t;

    // Observes notices named `name` (every notice when empty); the token removes the observer.
    Token addObserver(const std::string& name, Observer observer);
    // After it returns, the observer is not called by posts that start later.
    void removeObserver(Token token);

    void post(const Notification& notification);
    void post(const std::string& name, const void* object, std::map<std::string, std::any> userInfo = {});

    // The centre the whole process shares.
    static NotificationCenter& defaultCenter();

private:
    struct Entry {
        Token token;
        std::string name;
        std::shared_ptr<Observer> observer;
    };
    std::mutex mutex_;
    Token next_ = 1;
    std::vector<Entry> entries_;
};

// Observes one notice name on a centre for as long as it lives.
class ScopedObserver {
public:
    ScopedObserver(NotificationCenter& center, const std::string& name, NotificationCenter::Observer observer)
        : center_(center), token_(center.addObserver(name, std::move(observer))) {}
    ~ScopedObserver() { center_.removeObserver(token_); }
    ScopedObserver(const ScopedObserver&) = delete;
    ScopedObserver& operator=(const ScopedObserver&) = delete;

private:
    NotificationCenter& center_;
    NotificationCenter::Token token_;
};

} // namespace Platform
