#include "Zentile/archive_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Zentile {

ArchiveFile::~ArchiveFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool ArchiveFile::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return false;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool ArchiveFile::readAt(std::uint64_t offset, void* buffer, std::size_t length) const {
    if (offset > size_ || length > size_ - offset) {
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        ssize_t got = ::pread(fd_, out, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += static_cast<std::uint64_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace Zentile
