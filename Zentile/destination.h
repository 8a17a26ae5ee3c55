// The destination folder of one extraction, the only place it writes. Every path below it is walked
// component by component without following links; files are staged in a private folder inside it and
// renamed into place without replacing anything; name collisions are put to the caller; everything the
// extraction created is recorded, so a cancel removes exactly that.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

#include "Zentile/zip_error.h"

namespace Zentile {

// Asked for a new leaf name when `leaf` collides; none to keep the name.
using CollisionQuestion = std::function<std::optional<std::string>(const std::string& leaf)>;

class Destination {
public:
    Destination() = default;
    ~Destination();
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    // Opens the folder at `path`, creating it (and missing parents) when absent, and the staging folder.
    bool open(const std::string& path, ZIPErrorCode& code, std::string& text);

    int stagingFolder() const { return staging_; }
    static std::string stagedName(std::size_t index);

    // Makes the folders of an entry path (`components`, all of them folders) and answers the folder fd
    // of the last one (owned by the caller), or -1 with the code.
    int makeFolders(const std::vector<std::string>& components, const CollisionQuestion& ask, ZIPErrorCode& code);

    // Moves the staged file of `index` to the entry path, with its mode and time.
    ZIPErrorCode placeFile(std::size_t index, const std::vector<std::string>& components, std::uint32_t mode,
                           std::time_t modified, const CollisionQuestion& ask);
    // Makes a link at the entry path (the target was checked by the caller).
    ZIPErrorCode placeLink(const std::string& target, const std::vector<std::string>& components,
                           std::time_t modified, const CollisionQuestion& ask);
    // A folder entry's mode and time, applied by `finish` when this extraction made the folder.
    void noteFolder(const std::vector<std::string>& components, std::uint32_t mode, std::time_t modified);

    // Applies folder modes and times, and removes the staging folder.
    void finish();
    // Removes everything this extraction created, newest first, and the staging folder. An item whose
    // place now holds another file system object (replaced meanwhile) is left, and so is a folder that
    // is not empty.
    void removeCreated();

private:
    struct Folder {
        std::string diskPath;     // relative to the destination
        bool created = false;
    };
    struct Created {
        std::string diskPath;     // relative to the destination
        bool folder = false;
        dev_t device = 0;         // the identity of what was made there
        ino_t inode = 0;
    };
    int openFolder(const std::string& diskPath) const;
    // Tries `accept` with `leaf`, then with each new name `ask` proposes while the name is taken; none when
    // unresolved.
    std::optional<std::string> freeName(const std::string& leaf, const CollisionQuestion& ask,
                                        const std::function<bool(const std::string&)>& accept);
    void removeStaging();
    // Records `leaf` in the folder `parentFd` (at `diskPath`) as made by this extraction.
    void noteCreated(int parentFd, const std::string& leaf, const std::string& diskPath, bool folder);

    std::string path_;
    int root_ = -1;
    int staging_ = -1;
    std::string stagingName_;
    std::uint32_t umask_ = 022;
    std::map<std::string, Folder> folders_;                            // by archive path
    std::vector<Created> created_;
    std::vector<std::string> createdAbove_;                            // absolute paths made by open
    std::vector<std::pair<std::string, std::pair<std::uint32_t, std::time_t>>> folderMeta_;
};

} // namespace Zentile
