// The items of an opened archive: every item has a name, a path and its place in the tree; files add
// sizes and encryption; folders hold children. The archive itself is both a file and a folder.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Zentile {

class ZIPArchive;
class ZIPFolder;

using ZIPDate = std::chrono::system_clock::time_point;

class ZIPItem {
public:
    virtual ~ZIPItem() = default;

    virtual std::string name() = 0;                          // the leaf name
    virtual std::optional<ZIPDate> lastModifiedDate() = 0;
    virtual std::uint64_t size() = 0;                        // uncompressed bytes (a folder: of its files)
    virtual void* archiveItem() = 0;                         // the engine's own handle of the item
    virtual std::shared_ptr<ZIPArchive> rootArchive() = 0;   // held weakly by the item
    virtual std::shared_ptr<ZIPArchive> parentArchive() = 0;
    virtual std::shared_ptr<ZIPFolder> parent() = 0;         // none for a top-level item
    virtual std::uint64_t itemOffset() = 0;                  // where the entry's local header starts
    virtual std::string path() = 0;                          // the path inside the archive ("a/b.txt")
};

class ZIPFile : public virtual ZIPItem {
public:
    virtual std::uint64_t sizeCompressed() = 0;
    virtual std::uint64_t sizeUncompressed() = 0;
    virtual std::uint64_t fileState() = 0;                   // the entry's general-purpose flags
    virtual std::optional<ZIPDate> createdDate() = 0;
    virtual std::vector<std::string> signatures() = 0;
    virtual std::string encryptMethodName() = 0;             // "" when the entry is not encrypted
    virtual std::uint32_t accessFlags() = 0;                 // the Unix mode bits the entry carries
};

class ZIPFolder : public virtual ZIPItem {
public:
    virtual std::vector<std::shared_ptr<ZIPItem>> children() = 0;
};

} // namespace Zentile
