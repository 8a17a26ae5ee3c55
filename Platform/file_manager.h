// The file manager handed to file-reading services: the process's default one. Services touch the file
// system through std::filesystem; the value only says on whose behalf they work.
#pragma once

#include <memory>

namespace Platform {

class FileManager {
public:
    virtual ~FileManager() = default;

    // The one shared default file manager.
    static std::shared_ptr<FileManager> defaultManager() {
        static const auto manager = std::make_shared<FileManager>();
        return manager;
    }
};

} // namespace Platform
