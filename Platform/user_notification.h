// User notifications: a title, an informative text and an optional identifier, delivered through the
// default notification centre, which the host installs at start-up (desktop notifications in the
// application). A centre asks its delegate whether to present a notification.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace Platform {

struct UserNotification {
    std::string title;
    std::string informativeText;
    std::optional<std::string> identifier;

    bool operator==(const UserNotification&) const = default;
};

class UserNotificationCenterDelegate {
public:
    virtual ~UserNotificationCenterDelegate();
    virtual bool shouldPresentNotification(const UserNotification& notification) = 0;
};

class UserNotificationCenter {
public:
    virtual ~UserNotificationCenter();

    // Hands the notification to the desktop; a failure is logged, never reported to the caller.
    virtual void deliverNotification(const UserNotification& notification) = 0;

    // Held without owning it; none presents every notification.
    void setDelegate(const std::shared_ptr<UserNotificationCenterDelegate>& delegate) { delegate_ = delegate; }
    std::shared_ptr<UserNotificationCenterDelegate> delegate() const { return delegate_.lock(); }

private:
    std::weak_ptr<UserNotificationCenterDelegate> delegate_;
};

// The default centre; none until the host sets one (a notification then goes nowhere).
std::shared_ptr<UserNotificationCenter> defaultUserNotificationCenter();
void setDefaultUserNotificationCenter(std::shared_ptr<UserNotificationCenter> center);

} // namespace Platform
