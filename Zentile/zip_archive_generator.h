// The entry point of the engine: a generator opens archives (and would create them; this engine does not
// write archives). `ConcreteZIPArchiveGenerator` is the engine's own, created plainly.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/error.h"
#include "Platform/file_manager.h"
#include "Zentile/zip_archive.h"

namespace Zentile {

class ZIPArchiveGenerator {
public:
    virtual ~ZIPArchiveGenerator() = default;

    // Opens the archive at `path` and reads its directory (progress type 10). None with the error when
    // the file is not a readable, complete, single-disk ZIP archive, or when the caller cancelled.
    virtual std::shared_ptr<ZIPArchive> readArchiveAtPath(const std::string& path,
                                                          const std::shared_ptr<Platform::FileManager>& fileManager,
                                                          const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                                                          Platform::Error* error) = 0;
    virtual std::shared_ptr<ZIPArchive> createArchiveWithFiles(const std::vector<std::string>& files,
                                                               const std::string& destination,
                                                               const std::string& name, const ZIPOptions& options,
                                                               const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                                                               const std::shared_ptr<Platform::FileManager>& fileManager,
                                                               Platform::Error* error) = 0;
};

class ConcreteZIPArchiveGenerator : public ZIPArchiveGenerator {
public:
    std::shared_ptr<ZIPArchive> readArchiveAtPath(const std::string& path,
                                                  const std::shared_ptr<Platform::FileManager>& fileManager,
                                                  const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                                                  Platform::Error* error) override;
    // Fails with code 5 ("unsupported"): the engine writes no archives.
    std::shared_ptr<ZIPArchive> createArchiveWithFiles(const std::vector<std::string>& files,
                                                       const std::string& destination, const std::string& name,
                                                       const ZIPOptions& options,
                                                       const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                                                       const std::shared_ptr<Platform::FileManager>& fileManager,
                                                       Platform::Error* error) override;
};

} // namespace Zentile
