#include "Zentile/entry_extractor.h"

#include <algorithm>
#include <cstring>

#include "Zentile/block_writer.h"
#include "Zentile/entry_decoder.h"
#include "Zentile/traditional_cipher.h"
#include "Zentile/winzip_aes.h"

namespace Zentile {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kReadChunk = 512 * 1024;
constexpr std::size_t kWriteChunk = 128 * 1024;
// Entries from this size on are checked and written on a second thread while they are decoded.
constexpr std::uint64_t kThreadedWriteFrom = 16 * 1024 * 1024;

EntryResult failed(ZIPErrorCode code, std::string text) {
    return {EntryOutcome::Failed, code, std::move(text)};
}
EntryResult wrongPassword() {
    return {EntryOutcome::WrongPassword, ZIPErrorWrongPassphrase, "Incorrect passphrase"};
}

struct Payload {
    std::uint64_t start = 0;   // first byte of the data (after any encryption header)
    std::uint64_t length = 0;  // bytes of (encrypted) compressed data
};

// Finds the entry's data behind its local header.
bool locateData(const ArchiveFile& file, const EntryRecord& entry, std::uint64_t& dataStart, EntryResult& error,
                std::vector<unsigned char>* extra) {
    unsigned char header[kLocalSize];
    if (!file.readAt(entry.localHeaderOffset, header, sizeof header) || readLe32(header) != kLocalSignature) {
        error = failed(ZIPErrorCorrupt, "The entry's local header is damaged");
        return false;
    }
    std::uint64_t nameLength = readLe16(header + 26);
    std::uint64_t extraLength = readLe16(header + 28);
    dataStart = entry.localHeaderOffset + kLocalSize + nameLength + extraLength;
    if (dataStart > file.size() || entry.compressedSize > file.size() - dataStart) {
        error = failed(ZIPErrorTruncated, "The entry's data lies past the end of the archive");
        return false;
    }
    if (extra != nullptr) {
        extra->resize(static_cast<std::size_t>(extraLength));
        if (!file.readAt(entry.localHeaderOffset + kLocalSize + nameLength, extra->data(), extra->size())) {
            error = failed(ZIPErrorReadFailed, "The archive could not be read");
            return false;
        }
    }
    return true;
}

} // namespace

bool isSupportedMethod(std::uint16_t method) {
    return method == 0 || method == 8 || method == 12 || method == 14 || method == 95;
}

std::optional<std::string> readLocalKeyRecord(const ArchiveFile& file, const EntryRecord& entry) {
    std::uint64_t dataStart = 0;
    EntryResult ignored;
    std::vector<unsigned char> extra;
    if (!locateData(file, entry, dataStart, ignored, &extra)) {
        return std::nullopt;
    }
    EntryRecord local = entry;
    local.keyRecord.reset();
    applyExtraFields(extra.data(), extra.size(), local, false, false, false, false);
    return local.keyRecord;
}

EntryResult extractEntry(const ArchiveFile& file, const EntryRecord& entry, const std::optional<std::string>& password,
                         int outputFd, ExtractionBuffers& buffers, const EntryProgress& progress) {
    std::uint64_t dataStart = 0;
    EntryResult error;
    if (!locateData(file, entry, dataStart, error, nullptr)) {
        return error;
    }
    Payload payload{dataStart, entry.compressedSize};

    bool traditional = entry.encryption == EntryEncryption::Traditional;
    bool aes = entry.encryption == EntryEncryption::WinZipAes;
    TraditionalDecryptor zipCrypto;
    WinZipAesDecryptor winZip;
    if (traditional) {
        unsigned char header[TraditionalDecryptor::kHeaderLength];
        if (payload.length < sizeof header || !file.readAt(payload.start, header, sizeof header)) {
            return failed(ZIPErrorCorrupt, "The entry's encryption header is damaged");
        }
        std::uint8_t check = zipCrypto.start(password.value_or(""), header);
        bool descriptor = (entry.flags & 0x0008) != 0;
        if (check != static_cast<std::uint8_t>(entry.crc32 >> 24) &&
            !(descriptor && check == static_cast<std::uint8_t>(entry.dosTime >> 8))) {
            return wrongPassword();
        }
        payload.start += sizeof header;
        payload.length -= sizeof header;
    } else if (aes) {
        std::size_t saltLength = WinZipAesDecryptor::saltLength(entry.aesStrength);
        std::size_t overhead = saltLength + WinZipAesDecryptor::kVerifierLength + WinZipAesDecryptor::kMacLength;
        unsigned char header[16 + WinZipAesDecryptor::kVerifierLength];
        if (entry.aesStrength < 1 || entry.aesStrength > 3 || payload.length < overhead ||
            !file.readAt(payload.start, header, saltLength + WinZipAesDecryptor::kVerifierLength)) {
            return failed(ZIPErrorCorrupt, "The entry's encryption header is damaged");
        }
        if (!winZip.start(password.value_or(""), entry.aesStrength, header, header + saltLength)) {
            return wrongPassword();
        }
        payload.start += saltLength + WinZipAesDecryptor::kVerifierLength;
        payload.length -= overhead;
    }
    auto decrypt = [&](unsigned char* data, std::size_t length) {
        if (traditional) {
            zipCrypto.decrypt(data, length);
        } else if (aes) {
            return winZip.decrypt(data, length);
        }
        return true;
    };
    auto authenticate = [&]() {
        if (!aes) {
            return true;
        }
        unsigned char mac[WinZipAesDecryptor::kMacLength];
        return file.readAt(payload.start + payload.length, mac, sizeof mac) && winZip.finish(mac);
    };
    // A bad stream, size or CRC after a password passed the checks means the password was wrong
    // (the traditional check byte lets about 1 in 256 wrong passwords through).
    bool encrypted = traditional || aes;
    bool checkCrc = !(aes && entry.aesVendorVersion == 2);
    std::uint64_t declared = entry.uncompressedSize;

    auto decoder = makeEntryDecoder(entry.actualMethod, declared);
    if (!decoder) {
        return failed(ZIPErrorUnsupported, "The entry's compression method is unsupported");
    }
    buffers.input.resize(kReadChunk);
    buffers.output.resize(kWriteChunk);
    std::uint64_t written = 0;
    bool tooLarge = false;
    bool cancelled = false;
    BlockWriter output(outputFd, declared >= kThreadedWriteFrom, buffers.output, progress);
    auto sink = [&](const unsigned char* data, std::size_t length) {
        if (length > declared - written) {
            tooLarge = true;
            return false;
        }
        written += length;
        if (!output.append(data, length)) {
            return false;
        }
        if (progress.cancel->load(std::memory_order_relaxed)) {
            cancelled = true;
            return false;
        }
        return true;
    };
    DecodeStatus status = DecodeStatus::More;
    std::uint64_t position = 0;
    bool readFailed = false;
    do {
        std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, payload.length - position));
        if (length > 0 && !file.readAt(payload.start + position, buffers.input.data(), length)) {
            readFailed = true;
            break;
        }
        if (!decrypt(buffers.input.data(), length)) {
            return failed(ZIPErrorCorrupt, "The entry could not be decrypted");
        }
        position += length;
        if (status == DecodeStatus::More) {
            status = decoder->feed(buffers.input.data(), length, position == payload.length, sink);
        }
        if (cancelled || progress.cancel->load(std::memory_order_relaxed)) {
            return {EntryOutcome::Cancelled, ZIPErrorCancelled, "Cancelled"};
        }
        // Once decoding ended, encrypted bytes are still read to the end for the authentication code.
    } while (position < payload.length && (status == DecodeStatus::More || aes));
    if (readFailed) {
        return failed(ZIPErrorReadFailed, "The archive could not be read");
    }
    if (!output.finish()) {
        return failed(ZIPErrorWriteFailed,
                      std::string("The file could not be written: ") + std::strerror(output.writeError()));
    }
    if (!authenticate()) {
        return wrongPassword();
    }
    if (status != DecodeStatus::End || tooLarge || written != declared) {
        return encrypted ? wrongPassword()
                         : failed(ZIPErrorCorrupt, "The entry's data is damaged or not of its declared size");
    }
    if (checkCrc && output.crc() != entry.crc32) {
        return encrypted ? wrongPassword() : failed(ZIPErrorCorrupt, "The entry's CRC does not match");
    }
    return {EntryOutcome::Extracted, ZIPErrorNone, {}};
}

} // namespace Zentile
