// The ZIP engine's errors: the domain "VxArchiveErrorDomain" and its codes. A failed action returns false
// and fills the caller's `Platform::Error`; the same codes are the results of per-file ends (type 13).
#pragma once

#include <cstdint>
#include <string>

#include "Platform/error.h"

namespace Zentile {

inline constexpr char VxArchiveErrorDomain[] = "VxArchiveErrorDomain";

// Codes of the domain (docs/zentile/errors.md lists them with their texts). 6, 7 and 9 mean a passphrase
// or certificate that is wrong or missing; 4 a cancel; the others an unsupported or invalid archive.
enum ZIPErrorCode : std::uint32_t {
    ZIPErrorNone = 0,                // success (the result of an end that went well)
    ZIPErrorNotAnArchive = 1,        // no end-of-central-directory record: not a ZIP archive
    ZIPErrorTruncated = 2,           // the archive is shorter than its directory says
    ZIPErrorMultiDisk = 3,           // split or spanned over several disks
    ZIPErrorCancelled = 4,           // the caller cancelled (progress answer 4 or decision 3)
    ZIPErrorUnsupported = 5,         // an action, compression or encryption method the engine lacks
    ZIPErrorWrongPassphrase = 6,     // every attempt gave a wrong password
    ZIPErrorPassphraseMissing = 7,   // no password was given for an encrypted entry
    ZIPErrorSkipped = 8,             // the decryption delegate chose to skip the entry
    ZIPErrorCertificateMissing = 9,  // certificate-based encryption: no certificate to open it
    ZIPErrorCorrupt = 10,            // damaged data: bad headers, bad compressed stream, CRC mismatch
    ZIPErrorUnsafePath = 11,         // a name or link that would leave the destination; refused
    ZIPErrorUnsupportedType = 12,    // a device, FIFO or socket entry; never made
    ZIPErrorWriteFailed = 13,        // the destination could not be written
    ZIPErrorExists = 14,             // a name collision the filter delegate did not resolve
    ZIPErrorReadFailed = 15,         // the archive file could not be read
    ZIPErrorInvalidArgument = 16,    // an item or destination the action cannot use
};

// The error value of `code` with `text` as its localized description.
Platform::Error makeZIPError(ZIPErrorCode code, const std::string& text);

// The description used for `code` when no more precise text is at hand.
std::string describeZIPError(ZIPErrorCode code);

} // namespace Zentile
