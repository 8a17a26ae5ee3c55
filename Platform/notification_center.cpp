#include "Platform/notification_center.h"

#include <algorithm>
#include <utility>

namespace Platform {

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name, Observer observer) {
    std::lock_guard<std::mutex> guard(mutex_);
    Token token = next_++;
    entries_.push_back(Entry{token, name, std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::erase_if(entries_, [token](const Entry& entry) { return entry.token == token; });
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Observer>> called;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const Entry& entry : entries_) {
            if (entry.name.empty() || entry.name == notification.name) called.push_back(entry.observer);
        }
    }
    for (const auto& observer : called) (*observer)(notification);
}

void NotificationCenter::post(const std::string& name, const void* object, std::map<std::string, std::any> userInfo) {
    post(Notification{name, object, std::move(userInfo)});
}

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: posts may come from threads still running while the process ends.
    static NotificationCenter* const center = new NotificationCenter();
    return *center;
}

} // namespace Platform
