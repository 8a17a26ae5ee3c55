// The user's defaults: small named values that outlive the process (the application keeps them in its
// settings file). The interface the application's objects read and write, and an in-memory store for
// tests and for hosts that keep nothing.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace Platform {

class UserDefaults {
public:
    virtual ~UserDefaults();
    // The Boolean under `key`; false when the key is absent.
    virtual bool boolForKey(const std::string& key) const = 0;
    virtual void setBool(bool value, const std::string& key) = 0;
    virtual void removeObjectForKey(const std::string& key) = 0;
};

// Defaults held in memory only; safe to use from several threads at once.
class InMemoryUserDefaults : public UserDefaults {
public:
    bool boolForKey(const std::string& key) const override;
    void setBool(bool value, const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;

private:
    mutable std::mutex mutex_;
    std::map<std::string, bool> bools_;
};

} // namespace Platform
