#include "Zentile/destination.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "Zentile/entry_name.h"

namespace Zentile {
namespace {

// How often one collision is put to the caller before the entry fails.
constexpr int kMaxCollisionQuestions = 100;

std::uint32_t processUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<std::uint32_t>(std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return 022;
}

std::string join(const std::string& parent, const std::string& leaf) {
    return parent.empty() ? leaf : parent + "/" + leaf;
}

std::string archivePrefix(const std::vector<std::string>& components, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out = join(out, components[i]);
    }
    return out;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

void setTimes(int dirFd, const char* name, std::time_t modified) {
    struct timespec times[2];
    times[0].tv_sec = modified;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ::utimensat(dirFd, name, times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

Destination::~Destination() {
    removeStaging();
    if (root_ >= 0) {
        ::close(root_);
    }
}

std::string Destination::stagedName(std::size_t index) {
    return std::to_string(index);
}

bool Destination::open(const std::string& path, ZIPErrorCode& code, std::string& text) {
    if (path.empty()) {
        code = ZIPErrorInvalidArgument;
        text = "No destination was given";
        return false;
    }
    path_ = path;
    umask_ = processUmask();
    // Create missing folders of the destination itself, outermost first.
    std::vector<std::string> missing;
    std::string probe = path;
    while (!probe.empty() && probe != "/") {
        struct stat info {};
        if (::stat(probe.c_str(), &info) == 0) {
            break;
        }
        missing.push_back(probe);
        auto slash = probe.find_last_of('/');
        probe = slash == std::string::npos ? std::string() : probe.substr(0, slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST) {
            code = ZIPErrorWriteFailed;
            text = "The destination could not be created: " + std::string(std::strerror(errno));
            return false;
        }
        createdAbove_.push_back(*it);
    }
    root_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_ < 0) {
        code = ZIPErrorWriteFailed;
        text = "The destination is not a folder: " + std::string(std::strerror(errno));
        return false;
    }
    std::random_device random;
    for (int tries = 0; tries < 16 && staging_ < 0; ++tries) {
        char name[40];
        std::snprintf(name, sizeof name, ".zentile-%08x%08x", random(), random());
        if (::mkdirat(root_, name, 0700) == 0) {
            stagingName_ = name;
            staging_ = ::openat(root_, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (staging_ < 0) {
        code = ZIPErrorWriteFailed;
        text = "The destination cannot be written: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

int Destination::openFolder(const std::string& diskPath) const {
    int fd = ::dup(root_);
    std::size_t start = 0;
    while (fd >= 0 && start < diskPath.size()) {
        std::size_t slash = diskPath.find('/', start);
        std::string part = diskPath.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
        start = slash == std::string::npos ? diskPath.size() : slash + 1;
    }
    return fd;
}

std::optional<std::string> Destination::freeName(const std::string& leaf, const CollisionQuestion& ask,
                                                 const std::function<bool(const std::string&)>& accept) {
    std::string name = leaf;
    for (int question = 0; question <= kMaxCollisionQuestions; ++question) {
        if (accept(name)) {
            return name;
        }
        if (errno != EEXIST || question == kMaxCollisionQuestions || !ask) {
            return std::nullopt;
        }
        auto answer = ask(name);
        if (!answer || answer->empty() || !isSafeLeafName(*answer) || *answer == stagingName_) {
            return std::nullopt;
        }
        name = *answer;
    }
    return std::nullopt;
}

int Destination::makeFolders(const std::vector<std::string>& components, const CollisionQuestion& ask,
                             ZIPErrorCode& code) {
    std::string parentDisk;
    for (std::size_t depth = 1; depth <= components.size(); ++depth) {
        std::string prefix = archivePrefix(components, depth);
        if (auto known = folders_.find(prefix); known != folders_.end()) {
            parentDisk = known->second.diskPath;
            continue;
        }
        int parentFd = openFolder(parentDisk);
        if (parentFd < 0) {
            code = ZIPErrorUnsafePath;
            return -1;
        }
        FdCloser closeParent{parentFd};
        const std::string& leaf = components[depth - 1];
        bool merged = false;
        auto made = freeName(leaf, ask, [&](const std::string& name) {
            if (name == stagingName_ && parentDisk.empty()) {
                errno = EEXIST;
                return false;
            }
            return ::mkdirat(parentFd, name.c_str(), 0777) == 0;
        });
        if (!made) {
            // Unresolved: keep the name when it is a real folder (merge into it), else refuse.
            struct stat info {};
            if (::fstatat(parentFd, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode) &&
                !(leaf == stagingName_ && parentDisk.empty())) {
                merged = true;
                made = leaf;
            } else if (::fstatat(parentFd, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                // Never write through a link, even one that stays inside.
                code = S_ISLNK(info.st_mode) ? ZIPErrorUnsafePath : ZIPErrorExists;
                return -1;
            } else {
                code = ZIPErrorWriteFailed;
                return -1;
            }
        }
        std::string disk = join(parentDisk, *made);
        folders_[prefix] = Folder{disk, !merged};
        if (!merged) {
            noteCreated(parentFd, *made, disk, true);
        }
        parentDisk = disk;
    }
    int fd = openFolder(parentDisk);
    if (fd < 0) {
        code = ZIPErrorUnsafePath;
    }
    return fd;
}

ZIPErrorCode Destination::placeFile(std::size_t index, const std::vector<std::string>& components, std::uint32_t mode,
                                    std::time_t modified, const CollisionQuestion& ask) {
    ZIPErrorCode code = ZIPErrorNone;
    std::vector<std::string> folders(components.begin(), components.end() - 1);
    int parentFd = makeFolders(folders, ask, code);
    if (parentFd < 0) {
        return code;
    }
    FdCloser closeParent{parentFd};
    std::string staged = stagedName(index);
    std::uint32_t permissions = (mode != 0 ? (mode & 0777) : 0666) & ~umask_;
    ::fchmodat(staging_, staged.c_str(), permissions, 0);
    setTimes(staging_, staged.c_str(), modified);
    auto placed = freeName(components.back(), ask, [&](const std::string& name) {
        if (name == stagingName_ && folders.empty()) {
            errno = EEXIST;
            return false;
        }
        if (::renameat2(staging_, staged.c_str(), parentFd, name.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno != EINVAL) {
            return false;
        }
        // File systems without no-replace renames: check first (the race is only with the user).
        struct stat info {};
        if (::fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            errno = EEXIST;
            return false;
        }
        return ::renameat(staging_, staged.c_str(), parentFd, name.c_str()) == 0;
    });
    if (!placed) {
        int saved = errno;
        ::unlinkat(staging_, staged.c_str(), 0);
        return saved == EEXIST ? ZIPErrorExists : ZIPErrorWriteFailed;
    }
    std::string folderDisk = folders.empty() ? std::string() : folders_[archivePrefix(folders, folders.size())].diskPath;
    noteCreated(parentFd, *placed, join(folderDisk, *placed), false);
    return ZIPErrorNone;
}

ZIPErrorCode Destination::placeLink(const std::string& target, const std::vector<std::string>& components,
                                    std::time_t modified, const CollisionQuestion& ask) {
    ZIPErrorCode code = ZIPErrorNone;
    std::vector<std::string> folders(components.begin(), components.end() - 1);
    int parentFd = makeFolders(folders, ask, code);
    if (parentFd < 0) {
        return code;
    }
    FdCloser closeParent{parentFd};
    auto placed = freeName(components.back(), ask, [&](const std::string& name) {
        if (name == stagingName_ && folders.empty()) {
            errno = EEXIST;
            return false;
        }
        return ::symlinkat(target.c_str(), parentFd, name.c_str()) == 0;
    });
    if (!placed) {
        return errno == EEXIST ? ZIPErrorExists : ZIPErrorWriteFailed;
    }
    setTimes(parentFd, placed->c_str(), modified);
    std::string folderDisk = folders.empty() ? std::string() : folders_[archivePrefix(folders, folders.size())].diskPath;
    noteCreated(parentFd, *placed, join(folderDisk, *placed), false);
    return ZIPErrorNone;
}

void Destination::noteFolder(const std::vector<std::string>& components, std::uint32_t mode, std::time_t modified) {
    folderMeta_.push_back({archivePrefix(components, components.size()), {mode, modified}});
}

void Destination::finish() {
    // Deepest folders first, so a folder's time is set after everything inside it was made.
    std::sort(folderMeta_.begin(), folderMeta_.end(), [](const auto& a, const auto& b) {
        return std::count(a.first.begin(), a.first.end(), '/') > std::count(b.first.begin(), b.first.end(), '/');
    });
    for (const auto& [prefix, meta] : folderMeta_) {
        auto folder = folders_.find(prefix);
        if (folder == folders_.end() || !folder->second.created) {
            continue;
        }
        int fd = openFolder(folder->second.diskPath);
        if (fd < 0) {
            continue;
        }
        if (meta.first != 0) {
            ::fchmod(fd, (meta.first & 0777) & ~umask_);
        }
        struct timespec times[2];
        times[0].tv_sec = meta.second;
        times[0].tv_nsec = 0;
        times[1] = times[0];
        ::futimens(fd, times);
        ::close(fd);
    }
    removeStaging();
}

void Destination::removeCreated() {
    removeStaging();
    if (root_ >= 0) {
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            // Only what is still the item made here: not one that replaced it, nor one reached through a
            // folder that was swapped for a link.
            struct stat info {};
            if (::fstatat(root_, it->diskPath.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                info.st_dev != it->device || info.st_ino != it->inode) {
                continue;
            }
            ::unlinkat(root_, it->diskPath.c_str(), it->folder ? AT_REMOVEDIR : 0);
        }
        created_.clear();
    }
    for (auto it = createdAbove_.rbegin(); it != createdAbove_.rend(); ++it) {
        ::rmdir(it->c_str());
    }
    createdAbove_.clear();
}

void Destination::noteCreated(int parentFd, const std::string& leaf, const std::string& diskPath, bool folder) {
    struct stat info {};
    if (::fstatat(parentFd, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return; // gone already: nothing of ours to remove there
    }
    created_.push_back(Created{diskPath, folder, info.st_dev, info.st_ino});
}

void Destination::removeStaging() {
    if (staging_ < 0) {
        return;
    }
    if (DIR* listing = ::fdopendir(::dup(staging_))) {
        std::vector<std::string> names;
        while (dirent* item = ::readdir(listing)) {
            std::string name = item->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(listing);
        for (const auto& name : names) {
            ::unlinkat(staging_, name.c_str(), 0);
        }
    }
    ::close(staging_);
    staging_ = -1;
    ::unlinkat(root_, stagingName_.c_str(), AT_REMOVEDIR);
}

} // namespace Zentile
