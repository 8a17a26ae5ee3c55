// The process's default notification centre: named change notices posted by the framework to any
// observers in the process. Posting is synchronous: the observers run on the posting thread, outside
// the centre's own lock, so an observer may post, add or remove observers itself.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Platform {

class NotificationCenter {
public:
    using Observer = std::function<void(const std::string& name)>;
    using Token = uint64_t;

    // The one centre of the process.
    static NotificationCenter& defaultCenter();

    // Calls observer for every later post of name until the token is removed.
    Token addObserver(const std::string& name, Observer observer);
    // After this returns the observer is not called by later posts; a post already running on
    // another thread may still be calling it.
    void removeObserver(Token token);
    // Calls the observers of name, in the order they were added.
    void post(const std::string& name);

private:
    struct Entry {
        std::string name;
        std::shared_ptr<Observer> observer;
    };
    std::mutex mutex_;
    Token next_ = 1;
    std::map<Token, Entry> entries_;
};

} // namespace Platform
