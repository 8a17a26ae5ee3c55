// The framework's one API object holder for a service test program, never destroyed (as in a host).
#pragma once

#include <memory>

#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge::testing {

inline const std::shared_ptr<VorlaneWrapper>& frameworkWrapper() {
    static const auto* held = new std::shared_ptr<VorlaneWrapper>(std::make_shared<VorlaneWrapper>());
    return *held;
}

} // namespace VorlaneBridge::testing
