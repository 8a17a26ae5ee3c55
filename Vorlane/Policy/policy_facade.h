// PolicyFacade: the organisation's archive policy for the host, rebuilt from the library's team-data
// records after each synchronization. A failed refresh keeps the previous model.
#pragma once

#include <functional>
#include <memory>

#include "Vorlane/Policy/vl_policy_model.h"
#include "Vorlane/Utilities/shared_view.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"
#include "vxmeta/records/team_data.h"

namespace VorlaneBridge {

// The library operation the facade calls; empty means the operation of the wrapper's API object
// (inside its failover loop).
struct PolicyLibrary {
    std::function<VxMeta::RecordListPtr<VxMeta::TeamData>()> getSatellitePolicyForUser;
};

class PolicyFacade {
public:
    explicit PolicyFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, PolicyLibrary library = {});

    // The current model; absent (null) before the first successful refresh and after removePolicy.
    std::shared_ptr<const VLPolicyModel> policy() const { return policy_.load(); }

    // Builds a new model from the signed-in user's policy records. A library failure is logged and
    // keeps the previous model; other exceptions pass to the caller.
    void refreshPolicy();
    void removePolicy() { policy_.store(nullptr); }

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }
    // Only before the facade is shared between threads.
    void setVorlaneSingleton(std::shared_ptr<VorlaneWrapper> wrapper) { vorlaneSingleton_ = std::move(wrapper); }

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
    PolicyLibrary library_;
    SharedView<VLPolicyModel> policy_;
};

} // namespace VorlaneBridge
