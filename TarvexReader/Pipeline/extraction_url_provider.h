// Where an archive goes on the user's Desktop (as the XDG user folders name it): onto the Desktop
// itself when the archive holds one top-level item or one file, else into a folder named after the
// archive without its extension (one safe name component).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Platform/error.h"
#include "Zentile/zip_archive.h"

namespace TarvexReader {

class ExtractionUrlProvider {
public:
    // The user's Desktop folder; none with an error when it does not exist.
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
