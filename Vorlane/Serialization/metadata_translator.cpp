#include "Vorlane/Serialization/metadata_translator.h"

#include <unordered_set>
#include <utility>

#include "Platform/dispatch_queue.h"
#include "Platform/notification_center.h"
#include "Platform/system_log.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "Vorlane/vorlane_constants.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/log.h"

namespace VorlaneBridge {

MetadataTranslator::MetadataTranslator(std::shared_ptr<VorlaneWrapper> vorlaneSingleton)
    : vorlaneSingleton_(std::move(vorlaneSingleton)) {}

std::optional<std::vector<VLSerial>> MetadataTranslator::metadataWithChanges(bool changesOnly, Platform::Error* error) {
    VxMeta::SerialListPtr pairs;
    try {
        pairs = vorlaneSingleton_->vorlane()->serializeAll(changesOnly);
    } catch (const VxMeta::VxMetaException& failure) {
        if (VxMeta::logLevelOn(2)) VxMeta::writeLog(2, "Error occured while serializing data - %s.", failure.what());
        Platform::failWith(error, errorWithVxMetaException(failure));
        return std::nullopt;
    }
    std::vector<VLSerial> metadata;
    if (!pairs) return metadata;
    metadata.reserve(pairs->size());
    std::unordered_set<std::string> seen;
    for (const std::shared_ptr<VxMeta::Serial>& pair : *pairs) {
        if (!pair) continue;
        if (!seen.insert(pair->name).second) {
            // The name only: a value may be a secret (a key, the recovery cipher).
            Platform::systemLog("Duplicate " + pair->name);
            continue;
        }
        metadata.emplace_back(pair->name, pair->value);
    }
    return metadata;
}

bool MetadataTranslator::restoreMetadata(const std::optional<std::vector<VLSerial>>& metadata, Platform::Error* error) {
    if (!metadata || metadata->empty()) return true;
    VxMeta::SerialList pairs;
    pairs.reserve(metadata->size());
    for (const VLSerial& serial : *metadata) pairs.push_back(std::make_shared<VxMeta::Serial>(serial.name(), serial.value()));
    try {
        vorlaneSingleton_->vorlane()->restoreAll(std::move(pairs));
    } catch (const VxMeta::VxMetaException& failure) {
        if (failure.category == VxMeta::VXMECAT_INVALID_METADATA) {
            const void* poster = this;
            Platform::asyncOnMainQueue(
                [poster] { Platform::NotificationCenter::defaultCenter().post(kInvalidMetadata, poster); });
        }
        if (VxMeta::logLevelOn(2)) VxMeta::writeLog(2, "%s", failure.what());
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
    return true;
}

} // namespace VorlaneBridge
