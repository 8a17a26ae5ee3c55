// VLNotification: one of the user's notifications as the host sees it (a team invitation, an access
// request to a managed key, an upgrade or MFA notice): an immutable value of seven optional texts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace VorlaneBridge {

class VLNotification {
public:
    using Text = std::optional<std::string>;

    VLNotification(Text urn, Text mode, Text type, Text message, Text action1, Text action2, Text aux)
        : urn_(std::move(urn)), mode_(std::move(mode)), type_(std::move(type)), message_(std::move(message)),
          action1_(std::move(action1)), action2_(std::move(action2)), aux_(std::move(aux)) {}

    static VLNotification notificationWithURN(Text urn, Text mode, Text type, Text message, Text action1, Text action2,
                                              Text aux) {
        return VLNotification(std::move(urn), std::move(mode), std::move(type), std::move(message),
                              std::move(action1), std::move(action2), std::move(aux));
    }

    // The notification's identity.
    const Text& urn() const { return urn_; }
    const Text& mode() const { return mode_; }
    // Its kind; "sync_problem" marks a synchronization problem.
    const Text& type() const { return type_; }
    // The text to show and the two answers it offers.
    const Text& message() const { return message_; }
    const Text& action1() const { return action1_; }
    const Text& action2() const { return action2_; }
    // Extra data of the kind.
    const Text& aux() const { return aux_; }

    // The same notification: equal URNs (a notification without a URN equals none).
    bool operator==(const VLNotification& other) const { return urn_ && other.urn_ && *urn_ == *other.urn_; }
    size_t hash() const { return std::hash<std::string>()(urn_.value_or(std::string())) + 31; }

private:
    Text urn_, mode_, type_, message_, action1_, action2_, aux_;
};

} // namespace VorlaneBridge
