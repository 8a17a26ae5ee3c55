// The engine's archive and items: an archive read from a file, its item tree (folders missing as
// entries are made up from the paths), and the actions. Extraction itself is in extraction.h.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Zentile/archive_file.h"
#include "Zentile/central_directory.h"
#include "Zentile/zip_archive.h"

namespace Zentile {

class ZentileArchive;

// What every item of the engine knows about itself. An item keeps the directory of the opening that
// made it: its entry stays readable after the archive is opened again, and extraction tells the two
// openings apart.
struct ItemData {
    std::string name;
    std::string path;
    const EntryRecord* entry = nullptr;  // in `directory`; none for a folder made up from the paths
    std::uint64_t size = 0;
    std::weak_ptr<ZIPFolder> parent;
    std::weak_ptr<ZentileArchive> archive;
    std::shared_ptr<const CentralDirectory> directory;
};

template <class Interface>
class ItemBase : public Interface {
public:
    explicit ItemBase(ItemData data) : data_(std::move(data)) {}

    std::string name() override { return data_.name; }
    std::optional<ZIPDate> lastModifiedDate() override;
    std::uint64_t size() override { return data_.size; }
    void* archiveItem() override { return const_cast<EntryRecord*>(data_.entry); }
    std::shared_ptr<ZIPArchive> rootArchive() override;
    std::shared_ptr<ZIPArchive> parentArchive() override { return rootArchive(); }
    std::shared_ptr<ZIPFolder> parent() override { return data_.parent.lock(); }
    std::uint64_t itemOffset() override { return data_.entry != nullptr ? data_.entry->localHeaderOffset : 0; }
    std::string path() override { return data_.path; }

    ItemData& data() { return data_; }

private:
    ItemData data_;
};

class ZentileFile : public ItemBase<ZIPFile> {
public:
    using ItemBase::ItemBase;
    std::uint64_t sizeCompressed() override { return data().entry->compressedSize; }
    std::uint64_t sizeUncompressed() override { return data().entry->uncompressedSize; }
    std::uint64_t fileState() override { return data().entry->flags; }
    std::optional<ZIPDate> createdDate() override { return std::nullopt; }
    std::vector<std::string> signatures() override { return {}; }
    std::string encryptMethodName() override;
    std::uint32_t accessFlags() override { return data().entry->unixMode(); }
};

class ZentileFolder : public ItemBase<ZIPFolder> {
public:
    using ItemBase::ItemBase;
    std::vector<std::shared_ptr<ZIPItem>> children() override { return children_; }
    std::vector<std::shared_ptr<ZIPItem>>& childList() { return children_; }

private:
    std::vector<std::shared_ptr<ZIPItem>> children_;
};

class ZentileArchive : public ZIPArchive, public std::enable_shared_from_this<ZentileArchive> {
public:
    explicit ZentileArchive(std::string path);

    // ZIPItem
    std::string name() override;
    std::optional<ZIPDate> lastModifiedDate() override;
    std::uint64_t size() override { return totalSize_; }
    void* archiveItem() override { return nullptr; }
    std::shared_ptr<ZIPArchive> rootArchive() override { return shared_from_this(); }
    std::shared_ptr<ZIPArchive> parentArchive() override { return nullptr; }
    std::shared_ptr<ZIPFolder> parent() override { return nullptr; }
    std::uint64_t itemOffset() override { return 0; }
    std::string path() override { return path_; }
    // ZIPFile
    std::uint64_t sizeCompressed() override { return file_ ? file_->size() : 0; }
    std::uint64_t sizeUncompressed() override { return totalSize_; }
    std::uint64_t fileState() override { return 0; }
    std::optional<ZIPDate> createdDate() override { return std::nullopt; }
    std::vector<std::string> signatures() override { return {}; }
    std::string encryptMethodName() override { return {}; }
    std::uint32_t accessFlags() override { return 0; }
    // ZIPFolder
    std::vector<std::shared_ptr<ZIPItem>> children() override { return children_; }
    // ZIPArchive
    void reloadFolders() override;
    std::string filePath() override { return path_; }
    void setFilePath(const std::string& path) override { path_ = path; }
    std::optional<std::string> password() override { return password_; }
    void setPassword(const std::optional<std::string>& password) override { password_ = password; }
    std::shared_ptr<ZIPFolder> rootFolder() override;
    std::int64_t numberOfFolders() override { return folderCount_; }
    std::int64_t numberOfFiles() override { return fileCount_; }
    std::optional<ZIPDate> addedDate() override { return addedDate_; }
    // ZIPArchiveActions
    bool openWithDelegate(const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool extractItems(const ZIPItems& items, const std::string& destination,
                      const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool fastExtractToFolder(const std::string& folder, const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                             Platform::Error* error) override;
    bool addItems(const ZIPItems& items, const std::shared_ptr<ZIPFolder>& folder, const ZIPOptions& options,
                  const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool removeItems(const ZIPItems& items, const ZIPOptions& options,
                     const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool encryptItems(const ZIPItems& items, bool preserveFNE, bool preserveEncryption, const ZIPOptions& options,
                      const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool renameItem(const std::shared_ptr<ZIPItem>& item, const std::string& newName, const ZIPOptions& options,
                    const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) override;

    const std::shared_ptr<ArchiveFile>& file() const { return file_; }
    const std::shared_ptr<CentralDirectory>& directory() const { return directory_; }

private:
    void buildTree();
    // Adds the entry indices of `item` (and everything below it) to `out`; false with the error for an
    // item of another archive or of an earlier opening of this one.
    bool collectEntries(const std::shared_ptr<ZIPItem>& item, std::vector<std::size_t>& out, Platform::Error* error);

    std::string path_;
    std::optional<std::string> password_;
    std::shared_ptr<ArchiveFile> file_;
    std::shared_ptr<CentralDirectory> directory_;
    std::vector<std::shared_ptr<ZIPItem>> children_;
    std::shared_ptr<ZentileFolder> root_;
    std::uint64_t totalSize_ = 0;
    std::int64_t fileCount_ = 0;
    std::int64_t folderCount_ = 0;
    std::optional<ZIPDate> addedDate_;
};

} // namespace Zentile
