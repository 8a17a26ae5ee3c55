// Where an archive goes on the user's Desktop (as the XDG user folders name it): onto the Desktop
// itself when the archive holds one top-level item or one file, else into a folder named after the
// archive without its extension (one safe name component). A Desktop folder that is missing is made,
// as the desktop's own tools do; one that cannot be made is an error of its own, never a broken archive.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Platform/error.h"
#include "Zentile/zip_archive.h"

namespace TarvexReader {

// The domain of a destination that cannot be used, and its code for a Desktop folder that cannot be made.
inline constexpr char kExtractionDestinationErrorDomain[] = "TarvexReaderDestinationErrorDomain";
inline constexpr long kDesktopUnavailable = 1;

class ExtractionUrlProvider {
public:
    // The user's Desktop folder (XDG_DESKTOP_DIR of the user folders, else $HOME/Desktop), made when
    // missing; none with a `kDesktopUnavailable` error naming it when it cannot be made.
    static std::optional<std::filesystem::path> desktop(Platform::Error* error);

    // None with an error when there is no Desktop or the archive has no usable name.
    std::optional<std::filesystem::path> extractionDestination(Zentile::ZIPArchive& archive,
                                                               Platform::Error* error) const;

    // "photos.tar.zip" gives "photos.tar"; a name without an extension (or only a leading dot) stays.
    static std::string withoutPathExtension(const std::string& name);
    // One path component that names an item inside its folder: not empty, not "." or "..", no "/".
    static bool isSafeComponent(const std::string& name);
};

} // namespace TarvexReader
