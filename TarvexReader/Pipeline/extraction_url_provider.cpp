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
    std::error_code ec;
    if (location.isEmpty() || !std::filesystem::is_directory(location.toStdString(), ec)) {
        Platform::failWith(error, Zentile::makeZIPError(Zentile::ZIPErrorWriteFailed,
                                                        "The Desktop folder does not exist: " + location.toStdString()));
        return std::nullopt;
    }
    return std::filesystem::path(location.toStdString());
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
