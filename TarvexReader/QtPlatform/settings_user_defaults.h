// The application's user defaults, kept in its settings file (under the XDG configuration folder).
#pragma once

#include <memory>

#include "Platform/user_defaults.h"

namespace TarvexReader {

class SettingsUserDefaults : public Platform::UserDefaults {
public:
    // The application's standard user defaults (one per process).
    static std::shared_ptr<SettingsUserDefaults> standardUserDefaults();

    bool boolForKey(const std::string& key) const override;
    void setBool(bool value, const std::string& key) override;
    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setString(const std::string& value, const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;
};

} // namespace TarvexReader
