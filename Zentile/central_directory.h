// Reading an archive's directory: the end records (with ZIP64), and one record per entry with what
// extraction needs (sizes, offsets, methods, encryption, names, times, modes, the key-service record).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Zentile/archive_file.h"
#include "Zentile/zip_error.h"

namespace Zentile {

// The header ID of our private extra field: its data is the archive key metadata JSON exactly.
inline constexpr std::uint16_t kKeyRecordExtraId = 0x4B56;

enum class EntryEncryption { None, Traditional, WinZipAes, Certificate };

struct EntryRecord {
    std::size_t index = 0;                 // position in the central directory
    std::string rawName;                   // the stored bytes
    std::string name;                      // as UTF-8
    std::uint8_t hostSystem = 0;           // high byte of "version made by"
    std::uint16_t flags = 0;
    std::uint16_t method = 0;              // the stored method (99 for WinZip AES)
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t localHeaderOffset = 0;   // already moved by any bytes in front of the archive
    std::optional<std::time_t> modifiedTime;   // from the extended time stamp field (UTC)
    std::optional<std::string> keyRecord;      // our private extra field's data

    EntryEncryption encryption = EntryEncryption::None;
    std::uint16_t aesVendorVersion = 0;    // 1 (AE-1) or 2 (AE-2)
    std::uint8_t aesStrength = 0;          // 1, 2, 3: 128, 192, 256 bits
    std::uint16_t actualMethod = 0;        // the compression method under the encryption

    bool isDirectory() const;
    bool isSymlink() const;
    // The Unix mode, when the entry was written on Unix (0 otherwise).
    std::uint32_t unixMode() const;
    // The modification time: the extended time stamp, else the DOS date and time as local time.
    std::time_t modificationTime() const;
};

struct CentralDirectory {
    std::vector<EntryRecord> entries;
};

// Called after each entry record is read (index, count, name); answers false to stop reading.
using DirectoryProgress = std::function<bool(std::size_t, std::size_t, const std::string&)>;

enum class DirectoryStatus { Read, Failed, Stopped };

// Reads the directory of `file`. On failure, `error` holds the code (1 not a ZIP, 2 truncated,
// 3 multi-disk, 10 damaged) and a text.
DirectoryStatus readCentralDirectory(const ArchiveFile& file, CentralDirectory& out, const DirectoryProgress& progress,
                                     ZIPErrorCode& code, std::string& text);

// Parses extra fields of one entry (central or local) into `entry` (ZIP64 sizes, AES, times, key record).
// `zip64Needs` lists which 32-bit fields were saturated; false when the ZIP64 field is missing or short.
bool applyExtraFields(const unsigned char* data, std::size_t length, EntryRecord& entry, bool needUncompressed,
                      bool needCompressed, bool needOffset, bool needDisk);

inline std::uint16_t readLe16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t readLe64(const unsigned char* p) {
    return static_cast<std::uint64_t>(readLe32(p)) | (static_cast<std::uint64_t>(readLe32(p + 4)) << 32);
}

} // namespace Zentile
