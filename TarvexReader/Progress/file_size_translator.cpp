#include "TarvexReader/Progress/file_size_translator.h"

#include <QLocale>
#include <QString>

namespace TarvexReader {

std::string FileSizeTranslator::humanReadableWithSpaceUsedInBytes(std::uint64_t bytes) {
    constexpr std::uint64_t kKB = 1024;
    constexpr std::uint64_t kMB = kKB * 1024;
    constexpr std::uint64_t kGB = kMB * 1024;
    std::uint64_t number = bytes;
    const char* unit = "bytes";
    if (bytes == 1) {
        unit = "byte";
    } else if (bytes >= kGB) {
        number = bytes / kGB;
        unit = "GB";
    } else if (bytes >= kMB) {
        number = bytes / kMB;
        unit = "MB";
    } else if (bytes >= kKB) {
        number = bytes / kKB;
        unit = "KB";
    }
    QString text = QLocale().toString(static_cast<qulonglong>(number)) + QLatin1Char(' ') + QLatin1String(unit);
    return text.toStdString();
}

} // namespace TarvexReader
