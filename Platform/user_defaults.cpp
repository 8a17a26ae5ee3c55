#include "Platform/user_defaults.h"

namespace Platform {

UserDefaults::~UserDefaults() = default;

bool InMemoryUserDefaults::boolForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = booleans_.find(key);
    return found != booleans_.end() && found->second;
}

void InMemoryUserDefaults::setBool(bool value, const std::string& key) {
    std::lock_guard<std::mutex> guard(mutex_);
    texts_.erase(key);
    booleans_[key] = value;
}

std::optional<std::string> InMemoryUserDefaults::stringForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = texts_.find(key);
    if (found == texts_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void InMemoryUserDefaults::setString(const std::string& value, const std::string& key) {
    std::lock_guard<std::mutex> guard(mutex_);
    booleans_.erase(key);
    texts_[key] = value;
}

void InMemoryUserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard<std::mutex> guard(mutex_);
    booleans_.erase(key);
    texts_.erase(key);
}

} // namespace Platform
