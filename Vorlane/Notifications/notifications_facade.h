// NotificationsFacade: the user's notifications as the host sees them. So far it keeps none: the
// refresh and the clearing at sign-out are all the facade asks of it.
#pragma once

#include <memory>

#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class NotificationsFacade {
public:
    explicit NotificationsFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton)
        : vorlaneSingleton_(std::move(vorlaneSingleton)) {}

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }

    // Takes the library's current notifications.
    void refreshNotifications() {}
    // Forgets every notification.
    void clear() {}

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
};

} // namespace VorlaneBridge
