// A program's bundle as the framework reads it: its information dictionary (application name under
// "MetaclientAppName", version under "CFBundleShortVersionString").
#pragma once

#include <map>
#include <optional>
#include <string>

namespace Platform {

struct Bundle {
    std::map<std::string, std::string> infoDictionary;

    std::optional<std::string> objectForInfoDictionaryKey(const std::string& key) const {
        auto found = infoDictionary.find(key);
        if (found == infoDictionary.end()) {
            return std::nullopt;
        }
        return found->second;
    }
};

} // namespace Platform
