// A decorator over an engine archive: every property read and every action goes, unchanged, to the
// inner archive `internal`, which also fills the error out-parameters. It is the base of the archive
// model that adds the key provider; on its own it changes nothing.
#pragma once

#include <memory>

#include "Zentile/zip_archive.h"

namespace Tarvexor {

class DelegatingZIPArchiveModel : public Zentile::ZIPArchive {
public:
    explicit DelegatingZIPArchiveModel(std::shared_ptr<Zentile::ZIPArchive> internal);

    const std::shared_ptr<Zentile::ZIPArchive>& internal() const { return internal_; }
    void setInternal(std::shared_ptr<Zentile::ZIPArchive> internal) { internal_ = std::move(internal); }

    // ZIPItem
    std::string name() override;
    std::optional<Zentile::ZIPDate> lastModifiedDate() override;
    std::uint64_t size() override;
    void* archiveItem() override;
    std::shared_ptr<Zentile::ZIPArchive> rootArchive() override;
    std::shared_ptr<Zentile::ZIPArchive> parentArchive() override;
    std::shared_ptr<Zentile::ZIPFolder> parent() override;
    std::uint64_t itemOffset() override;
    std::string path() override;

    // ZIPFile
    std::uint64_t sizeCompressed() override;
    std::uint64_t sizeUncompressed() override;
    std::uint64_t fileState() override;
    std::optional<Zentile::ZIPDate> createdDate() override;
    std::vector<std::string> signatures() override;
    std::string encryptMethodName() override;
    std::uint32_t accessFlags() override;

    // ZIPFolder
    std::vector<std::shared_ptr<Zentile::ZIPItem>> children() override;

    // ZIPArchive
    void reloadFolders() override;
    std::string filePath() override;
    void setFilePath(const std::string& path) override;
    std::optional<std::string> password() override;
    void setPassword(const std::optional<std::string>& password) override;
    std::shared_ptr<Zentile::ZIPFolder> rootFolder() override;
    std::int64_t numberOfFolders() override;
    std::int64_t numberOfFiles() override;
    std::optional<Zentile::ZIPDate> addedDate() override;

    // ZIPArchiveActions
    bool openWithDelegate(const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                          Platform::Error* error) override;
    bool extractItems(const Zentile::ZIPItems& items, const std::string& destination,
                      const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool fastExtractToFolder(const std::string& folder, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                             Platform::Error* error) override;
    bool addItems(const Zentile::ZIPItems& items, const std::shared_ptr<Zentile::ZIPFolder>& folder,
                  const Zentile::ZIPOptions& options, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                  Platform::Error* error) override;
    bool removeItems(const Zentile::ZIPItems& items, const Zentile::ZIPOptions& options,
                     const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate, Platform::Error* error) override;
    bool encryptItems(const Zentile::ZIPItems& items, bool preserveFNE, bool preserveEncryption,
                      const Zentile::ZIPOptions& options, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                      Platform::Error* error) override;
    bool renameItem(const std::shared_ptr<Zentile::ZIPItem>& item, const std::string& newName,
                    const Zentile::ZIPOptions& options, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
                    Platform::Error* error) override;

private:
    std::shared_ptr<Zentile::ZIPArchive> internal_;
};

} // namespace Tarvexor
