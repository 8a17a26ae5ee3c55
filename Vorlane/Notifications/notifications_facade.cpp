#include "Vorlane/Notifications/notifications_facade.h"

#include "Platform/notification_center.h"
#include "Platform/utf8.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/log.h"

namespace VorlaneBridge {

namespace {

constexpr char kSyncProblem[] = "sync_problem";

// A library text as the host sees it: absent when it is not UTF-8.
VLNotification::Text hostText(const std::string& text) {
    if (!Platform::isValidUtf8(text)) return std::nullopt;
    return text;
}

void postChange() {
    Platform::NotificationCenter::defaultCenter().post(kCurrentNotificationsChanged, nullptr);
}

} // namespace

NotificationsFacade::NotificationsFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, NotificationsLibrary library)
    : vorlaneSingleton_(std::move(vorlaneSingleton)), library_(std::move(library)) {}

VxMeta::RecordListPtr<VxMeta::Notification> NotificationsFacade::fetch() {
    if (library_.getNotifications) return library_.getNotifications();
    return vorlaneSingleton_->vorlane()->getNotifications();
}

void NotificationsFacade::respond(const std::string& urn, const std::string& answer) {
    if (library_.respondToNotification) return library_.respondToNotification(urn, answer);
    vorlaneSingleton_->vorlane()->respondToNotification(urn, answer);
}

void NotificationsFacade::refreshNotifications() {
    std::lock_guard<std::recursive_mutex> lock(monitor_);
    const VxMeta::RecordListPtr<VxMeta::Notification> records = fetch();
    if (!records || records->empty()) return;
    auto list = std::make_shared<List>();
    for (const std::shared_ptr<VxMeta::Notification>& record : *records) {
        if (!record || record->type == kSyncProblem) continue;
        list->push_back(VLNotification::notificationWithURN(hostText(record->urn), hostText(record->mode),
                                                            hostText(record->type), hostText(record->message),
                                                            hostText(record->action1), hostText(record->action2),
                                                            hostText(record->aux)));
    }
    current_.store(std::move(list));
    postChange();
}

bool NotificationsFacade::processNotification(const VLNotification& notification,
                                              const std::optional<std::string>& action, Platform::Error* error) {
    std::lock_guard<std::recursive_mutex> lock(monitor_);
    if (notification.type() == kSyncProblem) return true;
    try {
        respond(notification.urn().value_or(std::string()), action.value_or(std::string()));
        if (const std::shared_ptr<const List> held = current_.load()) {
            auto remaining = std::make_shared<List>();
            for (const VLNotification& entry : *held)
                if (!(entry == notification)) remaining->push_back(entry);
            current_.store(std::move(remaining));
        }
        postChange();
        return true;
    } catch (const VxMeta::VxMetaException& exception) {
        if (VxMeta::logLevelOn(2)) VxMeta::writeLog(2, "Notification response failed - %s", exception.what());
        return Platform::failWith(error, errorWithVxMetaException(exception));
    }
}

void NotificationsFacade::clear() {
    current_.store(nullptr);
    postChange();
}

} // namespace VorlaneBridge
