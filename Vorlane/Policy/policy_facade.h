// PolicyFacade: the organisation's archive policy as the host sees it. So far it keeps none: the
// refresh and the removal at sign-out are all the facade asks of it.
#pragma once

#include <memory>

#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class PolicyFacade {
public:
    explicit PolicyFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton)
        : vorlaneSingleton_(std::move(vorlaneSingleton)) {}

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }

    // Takes the library's current policy.
    void refreshPolicy() {}
    // Drops the policy.
    void removePolicy() {}

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
};

} // namespace VorlaneBridge
