// A host storage for the facade tests: it keeps the pairs as a host that applies change lists does
// (an empty value removes the name), notes every list it was handed, and fails each of its three
// calls on request.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/error.h"
#include "Vorlane/Serialization/vl_storage.h"

namespace VorlaneTest {

class RecordingStorage : public VorlaneBridge::VLStorage {
public:
    std::optional<std::vector<VorlaneBridge::VLSerial>> restoreMetadataWithError(Platform::Error* error) override {
        std::lock_guard<std::mutex> guard(mutex);
        ++restores;
        if (failRestore) {
            Platform::failWith(error, refusal("restore"));
            return std::nullopt;
        }
        std::vector<VorlaneBridge::VLSerial> all;
        for (const auto& [name, value] : kept) all.emplace_back(name, value);
        return all;
    }
    bool storeMetadata(const std::vector<VorlaneBridge::VLSerial>& metadata, Platform::Error* error) override {
        std::lock_guard<std::mutex> guard(mutex);
        handed.push_back(metadata);
        if (failStore) return Platform::failWith(error, refusal("store"));
        for (const VorlaneBridge::VLSerial& pair : metadata) {
            if (pair.value().empty()) {
                kept.erase(pair.name());
            } else {
                kept[pair.name()] = pair.value();
            }
        }
        return true;
    }
    bool removeMetadataWithError(Platform::Error* error) override {
        std::lock_guard<std::mutex> guard(mutex);
        ++removals;
        if (failRemove) return Platform::failWith(error, refusal("remove"));
        kept.clear();
        return true;
    }

    static Platform::Error refusal(const std::string& what) {
        return Platform::Error("TestStorageDomain", 9, {{Platform::kLocalizedDescriptionKey, "cannot " + what}});
    }
    static std::vector<std::string> namesOf(const std::vector<VorlaneBridge::VLSerial>& list) {
        std::vector<std::string> names;
        for (const VorlaneBridge::VLSerial& pair : list) names.push_back(pair.name());
        return names;
    }

    std::mutex mutex;
    bool failRestore = false;
    bool failStore = false;
    bool failRemove = false;
    std::map<std::string, std::string> kept;
    std::vector<std::vector<VorlaneBridge::VLSerial>> handed;
    int restores = 0;
    int removals = 0;
};

} // namespace VorlaneTest
