// The user's preferences: a small store of named Booleans and texts that survives the process. The
// application keeps them in its settings file; tests and tools use the in-memory store.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace Platform {

class UserDefaults {
public:
    virtual ~UserDefaults();

    // A missing key, or one that holds no Boolean, reads as false.
    virtual bool boolForKey(const std::string& key) const = 0;
    virtual void setBool(bool value, const std::string& key) = 0;
    virtual std::optional<std::string> stringForKey(const std::string& key) const = 0;
    virtual void setString(const std::string& value, const std::string& key) = 0;
    virtual void removeObjectForKey(const std::string& key) = 0;
};

// Keeps the values for the life of the object only.
class InMemoryUserDefaults : public UserDefaults {
public:
    bool boolForKey(const std::string& key) const override;
    void setBool(bool value, const std::string& key) override;
    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setString(const std::string& value, const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;

private:
    mutable std::mutex mutex_;
    std::map<std::string, bool> booleans_;
    std::map<std::string, std::string> texts_;
};

} // namespace Platform
