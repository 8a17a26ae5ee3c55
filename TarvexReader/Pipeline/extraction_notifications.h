// The user notifications that end an archive: the result (success, warnings, partial or total
// failure) or the error (wrong passphrase, cancel, an archive that does not open, a Desktop folder
// that cannot be made), delivered through the default notification centre.
#pragma once

#include <string>

#include "Platform/error.h"
#include "Platform/user_notification.h"
#include "TarvexReader/Pipeline/extraction_result.h"

namespace TarvexReader {

// `archiveFileName` is the last path component of the archive's URL.
Platform::UserNotification resultNotification(const ExtractionResult& result, const std::string& archiveFileName);
Platform::UserNotification errorNotification(const Platform::Error& error, const std::string& archiveFileName);

void notifyExtractionResult(const ExtractionResult& result, const std::string& archiveFileName);
void notifyExtractionError(const Platform::Error& error, const std::string& archiveFileName);

} // namespace TarvexReader
