#include "Platform/notification_center.h"

#include <utility>
#include <vector>

namespace Platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name, Observer observer) {
    std::lock_guard<std::mutex> guard(mutex_);
    const Token token = next_++;
    entries_.emplace(token, Entry{name, std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard<std::mutex> guard(mutex_);
    entries_.erase(token);
}

void NotificationCenter::post(const std::string& name) {
    std::vector<std::shared_ptr<Observer>> observers;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const auto& [token, entry] : entries_)
            if (entry.name == name) observers.push_back(entry.observer);
    }
    for (const std::shared_ptr<Observer>& observer : observers) (*observer)(name);
}

} // namespace Platform
