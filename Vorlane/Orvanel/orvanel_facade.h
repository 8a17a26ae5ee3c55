// OrvanelFacade: the user's managed keys and the default key choice kept in the user defaults. So far
// it keeps none: the refresh and the sign-out are all the facade asks of it.
#pragma once

#include <memory>

#include "Platform/user_defaults.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class OrvanelFacade {
public:
    OrvanelFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, std::shared_ptr<Platform::UserDefaults> userDefaults)
        : vorlaneSingleton_(std::move(vorlaneSingleton)), userDefaults_(std::move(userDefaults)) {}

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }

    // Takes the library's current keys.
    void refreshFacade() {}
    // Forgets the keys and the stored default-key choice.
    void unlink() {}

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
};

} // namespace VorlaneBridge
