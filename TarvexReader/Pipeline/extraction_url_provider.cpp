#include "TarvexReader/Pipeline/extraction_url_provider.h"

#include <QStandardPaths>

#include <system_error>

#include "Zentile/zip_error.h"

namespace TarvexReader {

namespace {
bool holdsOneItem(Zentile::ZIPArchive& archive) {
    return archive.children().size() == 1 || archive.numberOfFiles() == 1;
}
} // namespace

std::optional<std::filesystem::path> ExtractionUrlProvider::desktop(Platform::Error* error) {
    const QString location = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    auto unavailable = [&](const std::string& reason) {
        Platform::failWith(error, Platform::Error(kExtractionDestinationErrorDomain, kDesktopUnavailable,
                                                  {{Platform::kLocalizedDescriptionKey,
                                                    "The Desktop folder " + location.toStdString() +
                                                        " could not be made: " + reason}}));
        return std::nullopt;
    };
    if (location.isEmpty()) {
        return unavailable("no home folder is known");
    }
    const std::filesystem::path folder(location.toStdString());
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) {
        return folder;
    }
    // Missing: made where the user folders name it, as the desktop's own tools do.
    std::filesystem::create_directories(folder, ec);
    std::error_code probe;
    if (!std::filesystem::is_directory(folder, probe)) {
        return unavailable(ec ? ec.message() : "something else is in its place");
    }
    return folder;
}

std::optional<std::filesystem::path> ExtractionUrlProvider::extractionDestination(Zentile::ZIPArchive& archive,
                                                                                  Platform::Error* error) const {
    std::optional<std::filesystem::path> folder = desktop(error);
    if (!folder) {
        return std::nullopt;
    }
    if (holdsOneItem(archive)) {
        return folder;
    }
    const std::string stem = withoutPathExtension(archive.name());
    if (!isSafeComponent(stem)) {
        Platform::failWith(error, Zentile::makeZIPError(Zentile::ZIPErrorInvalidArgument,
                                                        "The archive has no name to extract it under"));
        return std::nullopt;
    }
    return *folder / stem;
}

std::string ExtractionUrlProvider::withoutPathExtension(const std::string& name) {
    const std::string::size_type dot = name.rfind('.');
    const std::string::size_type slash = name.rfind('/');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot <= slash + 1)) {
        return name;
    }
    return name.substr(0, dot);
}

bool ExtractionUrlProvider::isSafeComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace TarvexReader
