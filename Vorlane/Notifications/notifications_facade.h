// NotificationsFacade: the host's copy of the user's notifications. It rebuilds the list from the
// library after each synchronization (synchronization problems never reach it), answers a notification
// through the library, and posts "kNotificationsChanged" on the default notification centre after
// every change.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/error.h"
#include "Vorlane/Notifications/vl_notification.h"
#include "Vorlane/Utilities/shared_view.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"
#include "vxmeta/records/notification.h"

namespace VorlaneBridge {

// The name of the change notice (posted with no sender and no details).
inline constexpr char kCurrentNotificationsChanged[] = "kNotificationsChanged";

// The library operations the facade calls. An empty member means the operation of the wrapper's API
// object (inside its failover loop).
struct NotificationsLibrary {
    std::function<VxMeta::RecordListPtr<VxMeta::Notification>()> getNotifications;
    std::function<void(const std::string& urn, const std::string& answer)> respondToNotification;
};

class NotificationsFacade {
public:
    using List = std::vector<VLNotification>;

    explicit NotificationsFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, NotificationsLibrary library = {});

    // The list in the library's order; absent (null) before the first refresh that found notifications
    // and after clear. Never changed in place: each change stores a new list.
    std::shared_ptr<const List> currentNotifications() const { return current_.load(); }

    // Rebuilds the list from the library. An empty answer keeps the list as it is and posts nothing.
    // A library failure passes to the caller with the list unchanged.
    void refreshNotifications();

    // Answers the notification (an absent or empty answer is sent as the empty text) and drops every
    // entry with its URN from the list. A synchronization problem is answered at once, without the
    // library. On a library failure: false with the converted error, the list unchanged, nothing posted.
    bool processNotification(const VLNotification& notification, const std::optional<std::string>& action,
                             Platform::Error* error);

    // Drops the list (it becomes absent) and posts the change notice.
    void clear();

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }
    // Only before the facade is shared between threads.
    void setVorlaneSingleton(std::shared_ptr<VorlaneWrapper> wrapper) { vorlaneSingleton_ = std::move(wrapper); }

private:
    VxMeta::RecordListPtr<VxMeta::Notification> fetch();
    void respond(const std::string& urn, const std::string& answer);

    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
    NotificationsLibrary library_;
    SharedView<List> current_;
    // Held by refresh and answer for their whole run (the change notice is posted under it).
    std::recursive_mutex monitor_;
};

} // namespace VorlaneBridge
