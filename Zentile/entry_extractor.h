// Extraction of one entry's bytes, on a worker thread: reads the entry by position, decrypts it, decodes
// it and writes the result to an open file, checking size, CRC and authentication code. The caller
// chooses the password; this part only tells whether it was right.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Zentile/archive_file.h"
#include "Zentile/central_directory.h"
#include "Zentile/zip_error.h"

namespace Zentile {

enum class EntryOutcome {
    Extracted,     // whole and checked
    WrongPassword, // the password failed the check byte, verifier, CRC or authentication code
    Cancelled,     // the cancel flag was raised
    Failed,        // see the code
};

struct EntryResult {
    EntryOutcome outcome = EntryOutcome::Failed;
    ZIPErrorCode code = ZIPErrorNone;
    std::string text;
};

// Buffers a worker keeps between entries, so memory stays flat however many entries it extracts.
struct ExtractionBuffers {
    std::vector<unsigned char> input;
    std::vector<unsigned char> output;
};

struct EntryProgress {
    std::atomic<bool>* cancel = nullptr;        // raised by the caller to stop
    std::atomic<std::uint64_t>* bytes = nullptr; // bytes written so far
    std::function<void()> onProgress;            // called after each write
};

// Whether the engine can decode the entry's (actual) compression method.
bool isSupportedMethod(std::uint16_t method);

// Writes the entry's content to `outputFd` (positioned at its start, empty).
EntryResult extractEntry(const ArchiveFile& file, const EntryRecord& entry, const std::optional<std::string>& password,
                         int outputFd, ExtractionBuffers& buffers, const EntryProgress& progress);

// Reads the local header's extra fields of an entry (the key-service record may be kept only there).
std::optional<std::string> readLocalKeyRecord(const ArchiveFile& file, const EntryRecord& entry);

} // namespace Zentile
