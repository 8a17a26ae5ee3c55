// Operations of the API object whose areas (managed keys, notifications,
// application data, directory look-ups, team and policy) are not built yet.
// Each keeps its final name and signature: queries answer empty, operations that would change
// something fail with VXMECAT_INTERNAL "Operation not available in this build".
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

namespace {

[[noreturn]] void notAvailable() {
    throw VxMetaException(VXMECAT_INTERNAL, "Operation not available in this build");
}

template <class T>
RecordListPtr<T> emptyList() {
    return std::make_shared<RecordList<T>>();
}

} // namespace

RecordListPtr<Notification> RawVorlane::getNotifications() { return emptyList<Notification>(); }

void RawVorlane::respondToNotification(const std::string&, const std::string&) { notAvailable(); }

void RawVorlane::saveAppData(const std::string&, const std::string&, bool) { notAvailable(); }

void RawVorlane::removeAppData(const std::string&) { notAvailable(); }

std::string RawVorlane::getAppData(const std::string&) { return std::string(); }

RecordListPtr<XPID> RawVorlane::getXPIDs() { return emptyList<XPID>(); }

RecordListPtr<XPID> RawVorlane::lookupUsers(std::vector<std::string>) { return emptyList<XPID>(); }

std::map<std::string, std::vector<std::shared_ptr<XPID>>>
RawVorlane::lookupEmailRecipientKeys(const std::unordered_set<std::string>&, bool) {
    return {};
}

std::string RawVorlane::getClientPolicy() { return std::string(); }

bool RawVorlane::isInATeam() { return false; }

void RawVorlane::setTeam(const std::string&, bool) { notAvailable(); }

std::string RawVorlane::getTeamStatus() { return std::string(); }

bool RawVorlane::teamHasTeamKey() { return false; }

void RawVorlane::askForAsset(const std::string&) { notAvailable(); }

RecordListPtr<Asset> RawVorlane::getMyFilteredAssets(bool) { return emptyList<Asset>(); }

} // namespace VxMeta
