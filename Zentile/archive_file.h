// An archive file opened for reading by position: any number of threads read it at once with pread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Zentile {

class ArchiveFile {
public:
    ArchiveFile() = default;
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    // Opens `path`; false with errno set when it cannot be opened or is not a regular file.
    bool open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    std::uint64_t size() const { return size_; }

    // Reads exactly `length` bytes at `offset`; false when the file is shorter or the read fails.
    bool readAt(std::uint64_t offset, void* buffer, std::size_t length) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

} // namespace Zentile
