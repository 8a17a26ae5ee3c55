// What the MFA tests share: a started library over the in-process transport with a fresh dataset, a
// manual clock, the MFA model connected to the pipeline, and no callback or capable kinds left over;
// MFA policies made from team data documents, pairings, and a logged-in user.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/value.h>

#include "support/fake_transport.h"
#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMetaTest {

inline constexpr int64_t kMfaStart = 1'700'000'000;

// A policy from an "MFAPolicy" team datum with this value; `verified` 1 is a checked signature.
inline VxMeta::MfaPolicy mfaPolicyOf(const std::string& value, int32_t verified = 1,
                                     const std::string& updatedAt = "2024-01-01T00:00:00Z") {
    VxMeta::TeamData record;
    record.kind = "MFAPolicy";
    record.name = "MFA";
    record.team_id = 4;
    record.value = value;
    record.updated_at = updatedAt;
    record.verified = verified;
    return VxMeta::MfaPolicy::fromTeamData(record);
}

inline std::shared_ptr<VxMeta::MFAPair> mfaPair(const std::string& kind, int64_t id, bool enabled = true,
                                                const std::string& associationValue = "") {
    auto pair = std::make_shared<VxMeta::MFAPair>();
    pair->kind = kind;
    pair->id = id;
    pair->enabled = enabled;
    pair->name = kind + " " + std::to_string(id);
    pair->secret = "secret-" + std::to_string(id);
    pair->associationValue = associationValue;
    return pair;
}

// What a failing call threw (an empty failure when it did not throw).
template <typename Call>
VxMeta::VxMetaException mfaFailureOf(Call&& call) {
    try {
        call();
    } catch (const VxMeta::VxMetaException& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return VxMeta::VxMetaException("", "");
}

// "METHOD path" of the requests sent so far, without the cluster's own (its tag check and document).
inline std::vector<std::string> mfaRequestsSent() {
    std::vector<std::string> sent;
    for (const VxMeta::CommIO& io : VxMeta::testing::FakeTransport::exchanges()) {
        const std::string path = io.url.substr(io.url.find("/api/v1.0/") + 10);
        if (path == "etag/0" || path == "clusterInfo") continue;
        sent.push_back(io.method + " " + path);
    }
    return sent;
}

class MfaTest : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        VxMeta::connectMfaModel();
        clock = std::make_shared<VxMeta::ManualClock>(kMfaStart * 1000);
        VxMeta::setClock(clock);
        VxMeta::setMfaVerificationCallback(nullptr);
        VxMeta::setCapableMfaKinds({VxMeta::MFA_KIND_TOTP}, {});
    }
    void TearDown() override {
        VxMeta::setMfaVerificationCallback(nullptr);
        VxMeta::setCapableMfaKinds({}, {});
        VxMeta::mdClearAll(false);
        VxMeta::setClock(nullptr);
        PipelineTest::TearDown();
    }

    static void logIn() {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::globalState.myPrikey = "a private key";
    }
    static void installPolicy(const VxMeta::MfaPolicy& policy) {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::globalState.mfaPolicy = policy;
    }
    static VxMeta::MfaPolicy globalPolicy() {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        return VxMeta::globalState.mfaPolicy;
    }
    static void holdPairs(const VxMeta::RecordList<VxMeta::MFAPair>& pairs) {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        *VxMeta::myMFAPairs = pairs;
    }
    static size_t heldPairCount() {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        return VxMeta::myMFAPairs->size();
    }

    std::shared_ptr<VxMeta::ManualClock> clock;
};

} // namespace VxMetaTest
