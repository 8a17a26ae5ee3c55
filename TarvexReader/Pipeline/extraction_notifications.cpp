#include "TarvexReader/Pipeline/extraction_notifications.h"

#include "TarvexReader/Pipeline/extraction_url_provider.h"

namespace TarvexReader {

namespace {
void deliver(const Platform::UserNotification& notification) {
    if (auto center = Platform::defaultUserNotificationCenter()) {
        center->deliverNotification(notification);
    }
}
} // namespace

Platform::UserNotification resultNotification(const ExtractionResult& result, const std::string& archiveFileName) {
    const std::string total = std::to_string(result.total);
    const std::string warnings = std::to_string(result.warnings);
    Platform::UserNotification notification;
    notification.identifier = result.name;
    if (result.errors == 0 && result.warnings == 0) {
        notification.title = "Tarvex: Success";
        notification.informativeText = total + " file(s) from " + archiveFileName + " were unzipped to " + result.location;
    } else if (result.errors == 0) {
        notification.title = "Tarvex: Warning";
        notification.informativeText = total + " file(s) from " + archiveFileName + " were unzipped to " +
                                       result.location + " with " + warnings + " warning(s)";
    } else if (result.errors >= result.total) {
        notification.title = "Tarvex: Error";
        notification.informativeText = "No files were unzipped from " + archiveFileName;
    } else {
        notification.title = "Tarvex: Warning";
        notification.informativeText = "Only " + std::to_string(result.total - result.errors) + " of " + total +
                                       " file(s) from " + archiveFileName + " were unzipped to " + result.location +
                                       " with " + warnings + " warning(s)";
    }
    return notification;
}

Platform::UserNotification errorNotification(const Platform::Error& error, const std::string& archiveFileName) {
    Platform::UserNotification notification;
    if (error.domain == kExtractionDestinationErrorDomain) {
        // Nothing wrong with the archive: it had nowhere to go.
        notification.title = "Tarvex: Error";
        notification.informativeText = "Unable to unzip " + archiveFileName + ": " + error.localizedDescription();
        return notification;
    }
    switch (error.code) {
    case 6:
    case 7:
    case 9:
        notification.title = "Tarvex: Error";
        notification.informativeText = "Incorrect passphrase or certificate not found, unable to open: " + archiveFileName;
        break;
    case 4:
        notification.title = "Tarvex: Cancel";
        notification.informativeText = "Unzip of " + archiveFileName + " was cancelled";
        break;
    default:
        notification.title = "Tarvex: Error";
        notification.informativeText =
            "Unsupported or invalid archive: " + archiveFileName + ", status: " + std::to_string(error.code);
        break;
    }
    return notification;
}

void notifyExtractionResult(const ExtractionResult& result, const std::string& archiveFileName) {
    deliver(resultNotification(result, archiveFileName));
}

void notifyExtractionError(const Platform::Error& error, const std::string& archiveFileName) {
    deliver(errorNotification(error, archiveFileName));
}

} // namespace TarvexReader
