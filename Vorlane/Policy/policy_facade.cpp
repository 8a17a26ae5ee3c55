#include "Vorlane/Policy/policy_facade.h"

#include "Platform/utf8.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/log.h"

namespace VorlaneBridge {

namespace {

// A record's text for the model: absent when empty or not UTF-8.
std::optional<std::string> recordText(const std::string& text) {
    if (text.empty() || !Platform::isValidUtf8(text)) return std::nullopt;
    return text;
}

} // namespace

PolicyFacade::PolicyFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, PolicyLibrary library)
    : vorlaneSingleton_(std::move(vorlaneSingleton)), library_(std::move(library)) {}

void PolicyFacade::refreshPolicy() {
    try {
        const VxMeta::RecordListPtr<VxMeta::TeamData> records = library_.getSatellitePolicyForUser
                                                                     ? library_.getSatellitePolicyForUser()
                                                                     : vorlaneSingleton_->vorlane()->getSatellitePolicyForUser();
        VLPolicyModel::TeamDataList bundle;
        if (records) {
            for (const std::shared_ptr<VxMeta::TeamData>& record : *records) {
                if (!record) continue;
                const std::string kind = Platform::isValidUtf8(record->kind) ? record->kind : std::string();
                bundle.push_back(std::make_shared<BridgeTeamData>(static_cast<uint64_t>(record->id), kind,
                                                                  recordText(record->name), recordText(record->value),
                                                                  recordText(record->updated_at)));
            }
        }
        policy_.store(VLPolicyModel::modelWithPolicyBundle(bundle));
    } catch (const VxMeta::VxMetaException& exception) {
        if (VxMeta::logLevelOn(1)) VxMeta::writeLog(1, "%s", exception.what());
    }
}

} // namespace VorlaneBridge
