#include "Zentile/zip_error.h"

namespace Zentile {

Platform::Error makeZIPError(ZIPErrorCode code, const std::string& text) {
    return Platform::Error(VxArchiveErrorDomain, static_cast<long>(code),
                           {{Platform::kLocalizedDescriptionKey, text}});
}

std::string describeZIPError(ZIPErrorCode code) {
    switch (code) {
    case ZIPErrorNone: return "No error";
    case ZIPErrorNotAnArchive: return "Not a ZIP archive";
    case ZIPErrorTruncated: return "The archive is truncated";
    case ZIPErrorMultiDisk: return "Archives split over several disks are not supported";
    case ZIPErrorCancelled: return "The operation was cancelled";
    case ZIPErrorUnsupported: return "The operation is unsupported";
    case ZIPErrorWrongPassphrase: return "Incorrect passphrase";
    case ZIPErrorPassphraseMissing: return "No passphrase was given";
    case ZIPErrorSkipped: return "The entry was skipped";
    case ZIPErrorCertificateMissing: return "The entry needs a certificate that is not available";
    case ZIPErrorCorrupt: return "The archive is damaged";
    case ZIPErrorUnsafePath: return "The entry's name leads outside the destination";
    case ZIPErrorUnsupportedType: return "The entry is a device, FIFO or socket";
    case ZIPErrorWriteFailed: return "The destination could not be written";
    case ZIPErrorExists: return "An item of that name already exists";
    case ZIPErrorReadFailed: return "The archive could not be read";
    case ZIPErrorInvalidArgument: return "Invalid argument";
    }
    return "Unknown error";
}

} // namespace Zentile
