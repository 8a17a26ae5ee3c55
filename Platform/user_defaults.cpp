#include "Platform/user_defaults.h"

namespace Platform {

UserDefaults::~UserDefaults() = default;

bool InMemoryUserDefaults::boolForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto found = bools_.find(key);
    return found != bools_.end() && found->second;
}

void InMemoryUserDefaults::setBool(bool value, const std::string& key) {
    std::lock_guard lock(mutex_);
    bools_[key] = value;
}

void InMemoryUserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    bools_.erase(key);
}

} // namespace Platform
