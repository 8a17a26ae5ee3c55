// What the access tests share: a started library over the in-process transport with a fresh
// dataset, a manual clock, no synchronization problems, an empty remote-disabled cache and quiet
// logging; one RSA key pair for the whole program; the credential vectors made by Python; JSON of
// the bodies the transport received.
#pragma once

#include <array>

#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <json/value.h>

#include "support/fake_transport.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMetaTest {

struct KeyPair {
    std::string publicKey;
    std::string privateKey;
};

inline const KeyPair& userKeys() {
    static const KeyPair keys = [] {
        KeyPair k;
        VxMeta::generateRSAKeys(k.publicKey, k.privateKey);
        return k;
    }();
    return keys;
}

// The service's key pair of the unit tests.
inline const KeyPair& serviceKeys() {
    static const KeyPair keys = [] {
        KeyPair k;
        VxMeta::generateRSAKeys(k.publicKey, k.privateKey);
        return k;
    }();
    return keys;
}

// tests/vectors/login_credentials.json.
inline const Json::Value& credentialVectors() {
    static const Json::Value vectors = [] {
        std::ifstream in(std::string(VX_SOURCE_DIR) + "/tests/vectors/login_credentials.json");
        std::stringstream text;
        text << in.rdbuf();
        Json::Value value;
        VxMeta::mayParse(text.str(), value);
        return value;
    }();
    return vectors;
}

inline Json::Value bodyJson(const VxMeta::CommIO& io) {
    Json::Value value;
    VxMeta::mayParse(std::string(io.requestData.begin(), io.requestData.end()), value);
    return value;
}

inline Json::Value json(const std::string& text) {
    Json::Value value;
    VxMeta::mayParse(text, value);
    return value;
}

inline std::string bodyText(const VxMeta::CommIO& io) { return std::string(io.requestData.begin(), io.requestData.end()); }

// Sets the host identity the requests carry (application, version, device, platform) for one test and
// puts the previous values back when it ends.
class HostIdentity {
public:
    HostIdentity()
        : saved_{VxMeta::appName, VxMeta::appVersion, VxMeta::deviceName, VxMeta::platformType} {
        VxMeta::appName = "Reader";
        VxMeta::appVersion = "1.2";
        VxMeta::deviceName = "desk";
        VxMeta::platformType = "Linux";
    }
    ~HostIdentity() {
        VxMeta::appName = saved_[0];
        VxMeta::appVersion = saved_[1];
        VxMeta::deviceName = saved_[2];
        VxMeta::platformType = saved_[3];
    }
    HostIdentity(const HostIdentity&) = delete;
    HostIdentity& operator=(const HostIdentity&) = delete;

private:
    std::array<std::string, 4> saved_;
};

class AccessTest : public VxMeta::testing::PipelineTest {
protected:
    static constexpr int64_t kStart = 1'700'000'000;

    void SetUp() override {
        VxMeta::init();
        PipelineTest::SetUp();
        clock = std::make_shared<VxMeta::ManualClock>(kStart * 1000);
        VxMeta::setClock(clock);
        VxMeta::lastOnlineTime = 0;
        VxMeta::remoteDisabledCache.clear();
        std::lock_guard<std::mutex> guard(VxMeta::syncProblemsMutex);
        VxMeta::syncProblems.clear();
    }
    void TearDown() override {
        VxMeta::mdClearAll(false);
        VxMeta::setClock(nullptr);
        PipelineTest::TearDown();
    }

    // A logged-in user with the program's key pair as its identity.
    static void logIn(const std::string& urn = "urn:vx:user/own") {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::globalState.myPrikey = userKeys().privateKey;
        VxMeta::myPID->urn = urn;
        VxMeta::myPID->pubkey = userKeys().publicKey;
    }

    std::shared_ptr<VxMeta::ManualClock> clock;
};

} // namespace VxMetaTest
