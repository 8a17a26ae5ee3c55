#include "Zentile/central_directory.h"

#include "Platform/utf8.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include "Zentile/crc32.h"
#include "Zentile/entry_name.h"

namespace Zentile {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kSpanSignature = 0x08074b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralSize = 46;
constexpr std::uint64_t kMaxDirectoryBytes = 1ull << 30;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMethodAes = 99;

constexpr std::uint8_t kHostMsDos = 0;
constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint8_t kHostNtfs = 10;
constexpr std::uint8_t kHostMac = 19;

DirectoryStatus fail(ZIPErrorCode& code, std::string& text, ZIPErrorCode value, std::string message) {
    code = value;
    text = std::move(message);
    return DirectoryStatus::Failed;
}

// Position of the end record: the last signature whose comment fits into the file.
std::optional<std::uint64_t> findEndRecord(const ArchiveFile& file, std::vector<unsigned char>& tail,
                                           std::uint64_t& tailStart) {
    std::uint64_t size = file.size();
    if (size < kEndSize) {
        return std::nullopt;
    }
    std::uint64_t span = std::min<std::uint64_t>(size, kEndSize + 0xFFFF);
    tailStart = size - span;
    tail.resize(static_cast<std::size_t>(span));
    if (!file.readAt(tailStart, tail.data(), tail.size())) {
        return std::nullopt;
    }
    for (std::size_t pos = tail.size() - kEndSize + 1; pos-- > 0;) {
        if (readLe32(&tail[pos]) == kEndSignature) {
            std::size_t commentLength = readLe16(&tail[pos + 20]);
            if (pos + kEndSize + commentLength <= tail.size()) {
                return tailStart + pos;
            }
        }
    }
    return std::nullopt;
}

} // namespace

bool EntryRecord::isDirectory() const {
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) {
        return true;
    }
    if (hostSystem == kHostUnix || hostSystem == kHostMac) {
        return S_ISDIR(unixMode());
    }
    return (hostSystem == kHostMsDos || hostSystem == kHostNtfs || hostSystem == 11) &&
           (externalAttributes & 0x10) != 0 && uncompressedSize == 0;
}

bool EntryRecord::isSymlink() const {
    return S_ISLNK(unixMode());
}

std::uint32_t EntryRecord::unixMode() const {
    if (hostSystem != kHostUnix && hostSystem != kHostMac) {
        return 0;
    }
    return externalAttributes >> 16;
}

std::time_t EntryRecord::modificationTime() const {
    if (modifiedTime) {
        return *modifiedTime;
    }
    std::tm parts{};
    parts.tm_year = ((dosDate >> 9) & 0x7F) + 80;
    parts.tm_mon = std::max(((dosDate >> 5) & 0x0F) - 1, 0);
    parts.tm_mday = std::max(dosDate & 0x1F, 1);
    parts.tm_hour = (dosTime >> 11) & 0x1F;
    parts.tm_min = (dosTime >> 5) & 0x3F;
    parts.tm_sec = (dosTime & 0x1F) * 2;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

bool applyExtraFields(const unsigned char* data, std::size_t length, EntryRecord& entry, bool needUncompressed,
                      bool needCompressed, bool needOffset, bool needDisk) {
    bool zip64Needed = needUncompressed || needCompressed || needOffset || needDisk;
    bool zip64Found = false;
    std::size_t pos = 0;
    while (pos + 4 <= length) {
        std::uint16_t id = readLe16(data + pos);
        std::size_t size = readLe16(data + pos + 2);
        const unsigned char* field = data + pos + 4;
        if (pos + 4 + size > length) {
            break; // a damaged tail of extra data is ignored, as other readers do
        }
        switch (id) {
        case 0x0001: {
            std::size_t at = 0;
            auto take = [&](std::uint64_t& value) {
                if (at + 8 > size) {
                    return false;
                }
                value = readLe64(field + at);
                at += 8;
                return true;
            };
            bool ok = true;
            if (needUncompressed) ok = ok && take(entry.uncompressedSize);
            if (needCompressed) ok = ok && take(entry.compressedSize);
            if (needOffset) ok = ok && take(entry.localHeaderOffset);
            if (needDisk && ok) ok = at + 4 <= size;
            zip64Found = zip64Found || ok;
            break;
        }
        case 0x9901:
            if (size >= 7 && field[2] == 'A' && field[3] == 'E') {
                entry.aesVendorVersion = readLe16(field);
                entry.aesStrength = field[4];
                entry.actualMethod = readLe16(field + 5);
            }
            break;
        case 0x5455:
            if (size >= 5 && (field[0] & 1) != 0) {
                entry.modifiedTime = static_cast<std::time_t>(static_cast<std::int32_t>(readLe32(field + 1)));
            }
            break;
        case 0x7075:
            if (size >= 5 && field[0] == 1 &&
                readLe32(field + 1) == crc32(0, reinterpret_cast<const unsigned char*>(entry.rawName.data()),
                                             entry.rawName.size())) {
                std::string unicode(reinterpret_cast<const char*>(field + 5), size - 5);
                if (Platform::isValidUtf8(unicode)) {
                    entry.name = unicode;
                }
            }
            break;
        case kKeyRecordExtraId:
            entry.keyRecord = std::string(reinterpret_cast<const char*>(field), size);
            break;
        default:
            break;
        }
        pos += 4 + size;
    }
    return !zip64Needed || zip64Found;
}

DirectoryStatus readCentralDirectory(const ArchiveFile& file, CentralDirectory& out, const DirectoryProgress& progress,
                                     ZIPErrorCode& code, std::string& text) {
    std::vector<unsigned char> tail;
    std::uint64_t tailStart = 0;
    auto endPos = findEndRecord(file, tail, tailStart);
    if (!endPos) {
        unsigned char head[4] = {};
        if (file.size() >= 4 && file.readAt(0, head, 4) &&
            (readLe32(head) == kLocalSignature || readLe32(head) == kSpanSignature)) {
            return fail(code, text, ZIPErrorTruncated, "The archive is truncated: its directory is missing");
        }
        return fail(code, text, ZIPErrorNotAnArchive, "Not a ZIP archive");
    }
    const unsigned char* end = &tail[static_cast<std::size_t>(*endPos - tailStart)];
    std::uint64_t disk = readLe16(end + 4);
    std::uint64_t directoryDisk = readLe16(end + 6);
    std::uint64_t entriesOnDisk = readLe16(end + 8);
    std::uint64_t entryCount = readLe16(end + 10);
    std::uint64_t directorySize = readLe32(end + 12);
    std::uint64_t directoryOffset = readLe32(end + 16);
    std::uint64_t directoryEnd = *endPos; // where the directory should stop

    if (*endPos >= kZip64LocatorSize) {
        unsigned char locator[kZip64LocatorSize];
        if (file.readAt(*endPos - kZip64LocatorSize, locator, sizeof locator) &&
            readLe32(locator) == kZip64LocatorSignature) {
            if (readLe32(locator + 16) > 1) {
                return fail(code, text, ZIPErrorMultiDisk, "Archives split over several disks are not supported");
            }
            std::uint64_t zip64Pos = readLe64(locator + 8);
            unsigned char record[kZip64EndSize];
            // The record is normally just before the locator; bytes in front of the archive move it.
            std::uint64_t expected = *endPos - kZip64LocatorSize - kZip64EndSize;
            bool found = false;
            for (std::uint64_t candidate : {zip64Pos, expected}) {
                if (candidate <= expected && file.readAt(candidate, record, sizeof record) &&
                    readLe32(record) == kZip64EndSignature) {
                    found = true;
                    directoryEnd = candidate;
                    break;
                }
            }
            if (!found) {
                return fail(code, text, ZIPErrorTruncated, "The archive is truncated: its ZIP64 end record is missing");
            }
            disk = readLe32(record + 16);
            directoryDisk = readLe32(record + 20);
            entriesOnDisk = readLe64(record + 24);
            entryCount = readLe64(record + 32);
            directorySize = readLe64(record + 40);
            directoryOffset = readLe64(record + 48);
        }
    }
    if (disk != 0 || directoryDisk != 0 || entriesOnDisk != entryCount) {
        return fail(code, text, ZIPErrorMultiDisk, "Archives split over several disks are not supported");
    }
    if (directorySize > directoryEnd || directorySize > kMaxDirectoryBytes) {
        return fail(code, text, ZIPErrorTruncated, "The archive is truncated: its directory does not fit");
    }
    if (entryCount > directorySize / kCentralSize) {
        return fail(code, text, ZIPErrorCorrupt, "The archive's directory is damaged");
    }
    // Bytes in front of the archive (a self-extractor stub) shift every offset by the same amount.
    std::uint64_t directoryStart = directoryEnd - directorySize;
    if (directoryOffset > directoryStart) {
        return fail(code, text, ZIPErrorTruncated, "The archive is truncated: its directory lies past its end");
    }
    std::uint64_t bias = directoryStart - directoryOffset;

    std::vector<unsigned char> directory(static_cast<std::size_t>(directorySize));
    if (!file.readAt(directoryStart, directory.data(), directory.size())) {
        return fail(code, text, ZIPErrorReadFailed, "The archive could not be read");
    }
    out.entries.clear();
    out.entries.reserve(static_cast<std::size_t>(entryCount));
    std::size_t pos = 0;
    for (std::uint64_t i = 0; i < entryCount; ++i) {
        if (pos + kCentralSize > directory.size() || readLe32(&directory[pos]) != kCentralSignature) {
            return fail(code, text, ZIPErrorCorrupt, "The archive's directory is damaged");
        }
        const unsigned char* p = &directory[pos];
        std::size_t nameLength = readLe16(p + 28);
        std::size_t extraLength = readLe16(p + 30);
        std::size_t commentLength = readLe16(p + 32);
        if (pos + kCentralSize + nameLength + extraLength + commentLength > directory.size()) {
            return fail(code, text, ZIPErrorCorrupt, "The archive's directory is damaged");
        }
        EntryRecord entry;
        entry.index = static_cast<std::size_t>(i);
        entry.hostSystem = p[5];
        entry.flags = readLe16(p + 8);
        entry.method = readLe16(p + 10);
        entry.actualMethod = entry.method;
        entry.dosTime = readLe16(p + 12);
        entry.dosDate = readLe16(p + 14);
        entry.crc32 = readLe32(p + 16);
        std::uint32_t compressed32 = readLe32(p + 20);
        std::uint32_t uncompressed32 = readLe32(p + 24);
        std::uint16_t diskStart = readLe16(p + 34);
        entry.externalAttributes = readLe32(p + 38);
        std::uint32_t offset32 = readLe32(p + 42);
        entry.compressedSize = compressed32;
        entry.uncompressedSize = uncompressed32;
        entry.localHeaderOffset = offset32;
        entry.rawName.assign(reinterpret_cast<const char*>(p + kCentralSize), nameLength);
        entry.name = decodeEntryName(entry.rawName, (entry.flags & kFlagUtf8) != 0, entry.hostSystem);
        if (!applyExtraFields(p + kCentralSize + nameLength, extraLength, entry, uncompressed32 == 0xFFFFFFFF,
                              compressed32 == 0xFFFFFFFF, offset32 == 0xFFFFFFFF, diskStart == 0xFFFF)) {
            return fail(code, text, ZIPErrorCorrupt, "The archive's directory is damaged: a ZIP64 field is missing");
        }
        if (diskStart != 0 && diskStart != 0xFFFF) {
            return fail(code, text, ZIPErrorMultiDisk, "Archives split over several disks are not supported");
        }
        entry.localHeaderOffset += bias;
        if (entry.localHeaderOffset >= directoryStart ||
            entry.compressedSize > directoryStart - entry.localHeaderOffset) {
            return fail(code, text, ZIPErrorTruncated, "The archive is truncated: an entry's data lies past its end");
        }
        if ((entry.flags & kFlagStrongEncryption) != 0) {
            entry.encryption = EntryEncryption::Certificate;
        } else if (entry.method == kMethodAes) {
            entry.encryption = EntryEncryption::WinZipAes;
        } else if ((entry.flags & kFlagEncrypted) != 0) {
            entry.encryption = EntryEncryption::Traditional;
        }
        pos += kCentralSize + nameLength + extraLength + commentLength;
        out.entries.push_back(std::move(entry));
        if (progress && !progress(static_cast<std::size_t>(i), static_cast<std::size_t>(entryCount),
                                  out.entries.back().name)) {
            return DirectoryStatus::Stopped;
        }
    }
    return DirectoryStatus::Read;
}

} // namespace Zentile
