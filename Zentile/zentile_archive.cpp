#include "Zentile/zentile_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "Zentile/entry_name.h"
#include "Zentile/extraction.h"
#include "Zentile/zip_archive_generator.h"
#include "Zentile/zip_error.h"

namespace Zentile {
namespace {

std::string leafOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool failed(Platform::Error* error, ZIPErrorCode code, const std::string& text) {
    return Platform::failWith(error, makeZIPError(code, text));
}

} // namespace

template <class Interface>
std::optional<ZIPDate> ItemBase<Interface>::lastModifiedDate() {
    if (data_.entry == nullptr) {
        return std::nullopt;
    }
    return std::chrono::system_clock::from_time_t(data_.entry->modificationTime());
}

template <class Interface>
std::shared_ptr<ZIPArchive> ItemBase<Interface>::rootArchive() {
    return data_.archive.lock();
}

template class ItemBase<ZIPFile>;
template class ItemBase<ZIPFolder>;

std::string ZentileFile::encryptMethodName() {
    switch (data().entry->encryption) {
    case EntryEncryption::None: return {};
    case EntryEncryption::Traditional: return "ZipCrypto";
    case EntryEncryption::WinZipAes:
        return "AES-" + std::to_string(64 + 64 * data().entry->aesStrength);
    case EntryEncryption::Certificate: return "Certificate";
    }
    return {};
}

ZentileArchive::ZentileArchive(std::string path) : path_(std::move(path)) {}

std::string ZentileArchive::name() {
    return leafOf(path_);
}

std::optional<ZIPDate> ZentileArchive::lastModifiedDate() {
    return std::nullopt;
}

void ZentileArchive::reloadFolders() {
    buildTree();
}

std::shared_ptr<ZIPFolder> ZentileArchive::rootFolder() {
    return root_;
}

bool ZentileArchive::openWithDelegate(const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) {
    std::shared_ptr<ZIPProgressDelegate> progress = delegate ? delegate->progressDelegate() : nullptr;
    std::string archiveName = name();
    auto end = [&](ZIPErrorCode code) {
        if (progress) {
            progress->onEndWithItem(archiveName, ZIPProgressLoading, std::nullopt, code);
        }
    };
    if (progress && progress->onBeginWithItem(archiveName, ZIPProgressLoading, std::nullopt, 0) == ZIPProgressCancel) {
        end(ZIPErrorCancelled);
        return failed(error, ZIPErrorCancelled, describeZIPError(ZIPErrorCancelled));
    }
    auto file = std::make_shared<ArchiveFile>();
    if (!file->open(path_)) {
        end(ZIPErrorReadFailed);
        return failed(error, ZIPErrorReadFailed, "The archive could not be opened: " + std::string(std::strerror(errno)));
    }
    auto directory = std::make_shared<CentralDirectory>();
    ZIPErrorCode code = ZIPErrorNone;
    std::string text;
    auto status = readCentralDirectory(*file, *directory, [&](std::size_t index, std::size_t count, const std::string& entry) {
        return !progress || progress->onProgressWithItem(archiveName, ZIPProgressLoading, entry, index + 1, count) !=
                                ZIPProgressCancel;
    }, code, text);
    if (status == DirectoryStatus::Stopped) {
        end(ZIPErrorCancelled);
        return failed(error, ZIPErrorCancelled, describeZIPError(ZIPErrorCancelled));
    }
    if (status == DirectoryStatus::Failed) {
        end(code);
        return failed(error, code, text);
    }
    file_ = std::move(file);
    directory_ = std::move(directory);
    addedDate_ = std::chrono::system_clock::now();
    buildTree();
    end(ZIPErrorNone);
    return true;
}

void ZentileArchive::buildTree() {
    children_.clear();
    root_.reset();
    totalSize_ = 0;
    fileCount_ = 0;
    folderCount_ = 0;
    if (!directory_) {
        return;
    }
    std::weak_ptr<ZentileArchive> self = weak_from_this();
    root_ = std::make_shared<ZentileFolder>(ItemData{name(), "", nullptr, 0, {}, self, directory_});
    std::map<std::string, std::shared_ptr<ZentileFolder>> folders;
    std::vector<std::shared_ptr<ZentileFolder>> chain;
    // The folder at `components[0..count)`, made up when the archive has no entry for it.
    auto folderAt = [&](const std::vector<std::string>& components, std::size_t count) {
        std::shared_ptr<ZentileFolder> parent;
        std::string path;
        for (std::size_t i = 0; i < count; ++i) {
            path = path.empty() ? components[i] : path + "/" + components[i];
            auto& slot = folders[path];
            if (!slot) {
                slot = std::make_shared<ZentileFolder>(ItemData{components[i], path, nullptr, 0, parent, self, directory_});
                (parent ? parent->childList() : children_).push_back(slot);
                ++folderCount_;
            }
            parent = slot;
        }
        return parent;
    };
    for (const auto& entry : directory_->entries) {
        if (entry.isDirectory() && namesDestinationItself(entry.name)) {
            continue;
        }
        auto components = safeRelativePath(entry.name);
        if (!components) {
            // Listed at the top under its own name, so extracting it reports the refusal.
            children_.push_back(std::make_shared<ZentileFile>(
                ItemData{entry.name, entry.name, &entry, entry.uncompressedSize, {}, self, directory_}));
            ++fileCount_;
            continue;
        }
        if (entry.isDirectory()) {
            auto folder = folderAt(*components, components->size());
            folder->data().entry = &entry;
            continue;
        }
        auto parent = folderAt(*components, components->size() - 1);
        std::string path = entry.name;
        path.clear();
        for (const auto& part : *components) {
            path = path.empty() ? part : path + "/" + part;
        }
        auto file = std::make_shared<ZentileFile>(
            ItemData{components->back(), path, &entry, entry.uncompressedSize, parent, self, directory_});
        (parent ? parent->childList() : children_).push_back(file);
        ++fileCount_;
        totalSize_ += entry.uncompressedSize;
        for (auto folder = parent; folder; folder = std::dynamic_pointer_cast<ZentileFolder>(folder->parent())) {
            folder->data().size += entry.uncompressedSize;
        }
    }
    root_->childList() = children_;
    root_->data().size = totalSize_;
}

bool ZentileArchive::collectEntries(const std::shared_ptr<ZIPItem>& item, std::vector<std::size_t>& out,
                                    Platform::Error* error) {
    if (!item) {
        return failed(error, ZIPErrorInvalidArgument, "An item does not belong to this archive");
    }
    if (item.get() == static_cast<ZIPItem*>(this)) {
        for (const auto& child : children_) {
            if (!collectEntries(child, out, error)) {
                return false;
            }
        }
        return true;
    }
    ItemData* data = nullptr;
    std::shared_ptr<ZentileFolder> folder;
    if (auto file = std::dynamic_pointer_cast<ZentileFile>(item)) {
        data = &file->data();
    } else if ((folder = std::dynamic_pointer_cast<ZentileFolder>(item))) {
        data = &folder->data();
    }
    if (data == nullptr || data->archive.lock().get() != this) {
        return failed(error, ZIPErrorInvalidArgument, "An item does not belong to this archive");
    }
    if (data->directory != directory_) {
        // Its entry numbers belong to a directory this archive no longer reads by.
        return failed(error, ZIPErrorInvalidArgument,
                      "An item comes from an earlier opening of the archive: list its items again");
    }
    if (data->entry != nullptr) {
        out.push_back(data->entry->index);
    }
    if (folder) {
        for (const auto& child : folder->childList()) {
            if (!collectEntries(child, out, error)) {
                return false;
            }
        }
    }
    return true;
}

bool ZentileArchive::extractItems(const ZIPItems& items, const std::string& destination,
                                  const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) {
    if (!directory_) {
        return failed(error, ZIPErrorInvalidArgument, "The archive is not open");
    }
    std::vector<std::size_t> entries;
    for (const auto& item : items) {
        if (!collectEntries(item, entries, error)) {
            return false;
        }
    }
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    return runExtraction(shared_from_this(), entries, destination, delegate, error);
}

bool ZentileArchive::fastExtractToFolder(const std::string& folder, const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                                         Platform::Error* error) {
    return extractItems(children_, folder, delegate, error);
}

bool ZentileArchive::addItems(const ZIPItems&, const std::shared_ptr<ZIPFolder>&, const ZIPOptions&,
                              const std::shared_ptr<ZIPArchiveDelegate>&, Platform::Error* error) {
    return failed(error, ZIPErrorUnsupported, "Adding items is unsupported");
}

bool ZentileArchive::removeItems(const ZIPItems&, const ZIPOptions&, const std::shared_ptr<ZIPArchiveDelegate>&,
                                 Platform::Error* error) {
    return failed(error, ZIPErrorUnsupported, "Removing items is unsupported");
}

bool ZentileArchive::encryptItems(const ZIPItems&, bool, bool, const ZIPOptions&,
                                  const std::shared_ptr<ZIPArchiveDelegate>&, Platform::Error* error) {
    return failed(error, ZIPErrorUnsupported, "Encrypting items is unsupported");
}

bool ZentileArchive::renameItem(const std::shared_ptr<ZIPItem>&, const std::string&, const ZIPOptions&,
                                const std::shared_ptr<ZIPArchiveDelegate>&, Platform::Error* error) {
    return failed(error, ZIPErrorUnsupported, "Renaming items is unsupported");
}

std::shared_ptr<ZIPArchive> ConcreteZIPArchiveGenerator::readArchiveAtPath(
    const std::string& path, const std::shared_ptr<Platform::FileManager>&,
    const std::shared_ptr<ZIPArchiveDelegate>& delegate, Platform::Error* error) {
    auto archive = std::make_shared<ZentileArchive>(path);
    if (!archive->openWithDelegate(delegate, error)) {
        return nullptr;
    }
    return archive;
}

std::shared_ptr<ZIPArchive> ConcreteZIPArchiveGenerator::createArchiveWithFiles(
    const std::vector<std::string>&, const std::string&, const std::string&, const ZIPOptions&,
    const std::shared_ptr<ZIPArchiveDelegate>&, const std::shared_ptr<Platform::FileManager>&, Platform::Error* error) {
    Platform::failWith(error, makeZIPError(ZIPErrorUnsupported, "Creating archives is unsupported"));
    return nullptr;
}

} // namespace Zentile
