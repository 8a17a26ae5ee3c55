// An opened archive: its properties, its item tree and the actions run on it. Every action runs on the
// calling thread, calls the delegates there, and returns false with a `Platform::Error` of the domain
// "VxArchiveErrorDomain" (Zentile/zip_error.h) when it fails.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/error.h"
#include "Zentile/zip_archive_delegate.h"
#include "Zentile/zip_item.h"

namespace Zentile {

using ZIPOptions = std::map<std::string, std::string>;
using ZIPItems = std::vector<std::shared_ptr<ZIPItem>>;

class ZIPArchiveActions {
public:
    virtual ~ZIPArchiveActions() = default;

    // Reads the archive's directory again.
    virtual bool openWithDelegate(const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) = 0;
    // Extracts the items (with everything below them) into the destination folder.
    virtual bool extractItems(const ZIPItems& items, const std::string& destination,
                              const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) = 0;
    // Extracts the whole archive into the destination folder at the path `folder`.
    virtual bool fastExtractToFolder(const std::string& folder,
                                     const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                                     Platform::Error* error) = 0;
    // The writing actions.
    virtual bool addItems(const ZIPItems& items, const std::shared_ptr<ZIPFolder>& folder,
                          const ZIPOptions& options, const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                          Platform::Error* error) = 0;
    virtual bool removeItems(const ZIPItems& items, const ZIPOptions& options,
                             const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) = 0;
    virtual bool encryptItems(const ZIPItems& items, bool preserveFNE, bool preserveEncryption,
                              const ZIPOptions& options, const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                              Platform::Error* error) = 0;
    virtual bool renameItem(const std::shared_ptr<ZIPItem>& item, const std::string& newName,
                            const ZIPOptions& options, const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                            Platform::Error* error) = 0;
};

class ZIPArchive : public virtual ZIPFile, public virtual ZIPFolder, public virtual ZIPArchiveActions {
public:
    virtual void reloadFolders() = 0;
    virtual std::string filePath() = 0;
    virtual void setFilePath(const std::string& path) = 0;
    // A password tried first for every encrypted entry, before the decryption delegate is asked.
    virtual std::optional<std::string> password() = 0;
    virtual void setPassword(const std::optional<std::string>& password) = 0;
    virtual std::shared_ptr<ZIPFolder> rootFolder() = 0;
    virtual std::int64_t numberOfFolders() = 0;
    virtual std::int64_t numberOfFiles() = 0;
    virtual std::optional<ZIPDate> addedDate() = 0;
};

} // namespace Zentile
