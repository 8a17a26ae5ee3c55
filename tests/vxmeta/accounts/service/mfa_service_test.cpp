// Multi-factor authentication against the test key service over HTTPS: a request the service refuses
// for MFA reaches the host through the pipeline's retry and succeeds with the TOTP code the host
// returns (the service checks it); the framework's own hand-off ends such a request unanswered; a
// certificate the service rejects is blacklisted; a forged policy fails the request; the checkpoint
// uploads a pairing the host created; the MFA page and the PKCS#11 drivers.
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/dispatch_queue.h"
#include "Vorlane/MFA/perform_mfa_verification.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/accounts/mfa_checkpoint.h"
#include "vxmeta/accounts/mfa_pairs.h"
#include "vxmeta/accounts/mfa_verification.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/last_check_domain.h"
#include "support/key_service.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

const std::string kPassword = "mfa password";
const char kPageBase[] = "https://mfa.example.test/manage/";

// The host of these tests: each question is answered on a thread of its own by the next answer in
// line, which may ask the service's admin endpoint for the pairing's current code. The answer is the
// question with its answer members filled in.
using Answer = std::function<void(const MfaVerification& question, MfaVerification& answer)>;
struct Host {
    std::mutex mutex;
    std::deque<Answer> answers;
    std::vector<MfaVerification> asked;
    std::vector<std::thread> threads;
};
Host* host = nullptr;

void hostCallback(std::shared_ptr<Signaler>& signaler, MfaVerification verification) {
    std::lock_guard<std::mutex> guard(host->mutex);
    host->asked.push_back(verification);
    Answer answer;
    if (!host->answers.empty()) {
        answer = host->answers.front();
        host->answers.pop_front();
    }
    std::shared_ptr<Signaler> held = signaler;
    host->threads.emplace_back([held, answer, verification]() mutable {
        if (answer) {
            // The answer goes back in the question it answers.
            MfaVerification result = verification;
            answer(verification, result);
            std::lock_guard<std::recursive_mutex> lock(*held->expectant->mutex);
            held->expectant->result = result;
        }
        held.reset();
    });
}

template <typename Call>
VxMetaException failureOf(Call&& call) {
    try {
        call();
    } catch (const VxMetaException& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return VxMetaException("", "");
}

class MfaOnTheService : public VxMeta::testing::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        host = &theHost;
        service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
        setMds(service.servers.at(0), service.servicePublicKey);
        connectMfaModel();
        lastOnlineTime = 0;
        lastCheckDomain.clear();
        cacheLoginParameters.clear();
        appName = "Reader";
        appVersion = "1.0";
        platformType = "Linux";
        deviceName = "test desk";
        Json::Value account;
        account["email"] = "mfa@example.test";
        account["password"] = kPassword;
        account["rounds"] = 2000;
        service.call("POST", "/accounts", jsonString(account));
        login("mfa@example.test", kPassword, false);
        ASSERT_TRUE(loggedIn());
        setMfaVerificationCallback(&hostCallback);
        setCapableMfaKinds({MFA_KIND_TOTP}, {});
    }
    void TearDown() override {
        for (std::thread& t : theHost.threads) t.join();
        host = nullptr;
        setMfaVerificationCallback(nullptr);
        setCapableMfaKinds({}, {});
        mdClearAll(false);
        appName.clear();
        appVersion.clear();
        platformType.clear();
        deviceName.clear();
        ServiceTest::TearDown();
    }

    Json::Value admin(const std::string& path, const std::string& body) const {
        return service.call("POST", path, body);
    }
    void policy(const std::string& value, bool forged = false) const {
        Json::Value spec;
        spec["team_id"] = 4;
        spec["value"] = value;
        spec["forged"] = forged;
        admin("/mfa/policy", jsonString(spec));
    }
    int64_t totpPair() const { return admin("/mfa/pairs", R"({"kind": "TOTP", "name": "phone"})")["id"].asInt64(); }
    void answers(std::vector<Answer> list) {
        std::lock_guard<std::mutex> guard(theHost.mutex);
        theHost.answers.assign(list.begin(), list.end());
    }
    size_t calls() {
        std::lock_guard<std::mutex> guard(theHost.mutex);
        return theHost.asked.size();
    }
    // The host's answer: the current code of the first TOTP pairing it was offered.
    Answer codeOfOfferedPairing() const {
        const VxMeta::testing::KeyService* keys = &service;
        return [keys](const MfaVerification& question, MfaVerification& answer) {
            const std::shared_ptr<MFAPair> pair = *question.pairsByKind.at(MFA_KIND_TOTP).begin();
            Json::Value which;
            which["pairId"] = Json::Int64(pair->id);
            answer.token = keys->call("POST", "/mfa/code", jsonString(which))["code"].asString();
            answer.pairId = pair->id;
            answer.duration = 600;
        };
    }
    // The "X-VX-MFA" headers the service received, parsed, for requests to the path.
    std::vector<Json::Value> mfaHeadersTo(const std::string& path) const {
        std::vector<Json::Value> headers;
        for (const Json::Value& entry : service.requestsTo(path)) {
            for (const std::string& name : entry["headers"].getMemberNames()) {
                if (name == "X-VX-MFA" || name == "x-vx-mfa") headers.push_back(parseJson(entry["headers"][name].asString()));
            }
        }
        return headers;
    }

    Host theHost;
};

TEST_F(MfaOnTheService, RefusedRequestSucceedsWithTheCodeTheHostReturns) {
    policy(R"({"required": true, "totp": {"allowed": true}})");
    const int64_t pairId = totpPair();
    admin("/mfa/require", R"({"path": "ua/siteData", "action": "decrypt"})");
    answers({codeOfOfferedPairing()});

    VCSR executor;
    const Json::Value site = parseJson(executor.get("ua/siteData"));
    EXPECT_TRUE(site.isMember("signature"));
    ASSERT_EQ(calls(), 1u);
    const MfaVerification& asked = theHost.asked[0];
    EXPECT_EQ(asked.action, "decrypt");
    EXPECT_FALSE(asked.clientSide);
    EXPECT_FALSE(asked.getChallenge().empty());
    EXPECT_EQ(asked.verificationKinds, std::set<std::string>{MFA_KIND_TOTP});
    ASSERT_EQ(asked.pairsByKind.at(MFA_KIND_TOTP).size(), 1u);
    EXPECT_TRUE((*asked.pairsByKind.at(MFA_KIND_TOTP).begin())->secret.empty()) << "the host gets views";

    const std::vector<Json::Value> sent = mfaHeadersTo("ua/siteData");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_FALSE(sent[0].isMember("token"));
    EXPECT_EQ(sent[1]["pairId"].asInt64(), pairId);
    EXPECT_EQ(sent[1]["challenge"].asString(), asked.getChallenge());
    EXPECT_EQ(jsonString(sent[1]["capabilities"]), R"(["TOTP"])");
    EXPECT_EQ(service.call("GET", "/mfa")["verified"].asInt(), 1);

    // The service's new time stamp goes out with the next request, which passes without a question.
    EXPECT_FALSE(MfaVerification::getTimestamp().isNull());
    executor.get("ua/siteData");
    EXPECT_EQ(calls(), 1u);
    EXPECT_EQ(jsonString(mfaHeadersTo("ua/siteData")[2]["timestamp"]), jsonString(MfaVerification::getTimestamp()));
}

TEST_F(MfaOnTheService, FrameworkHandOffEndsTheRequestUnansweredAfterOneMainQueuePass) {
    policy(R"({"required": true, "totp": {"allowed": true}})");
    totpPair();
    admin("/mfa/require", R"({"path": "ua/siteData", "action": "login"})");
    setMfaVerificationCallback(&VorlaneBridge::performMFAVerification);
    auto mainQueue = std::make_shared<Platform::RunLoopQueue>();
    mainQueue->bindToCurrentThread();
    Platform::setMainQueue(mainQueue);

    auto request = std::async(std::launch::async, [] {
        return failureOf([] {
            VCSR executor;
            executor.get("ua/siteData");
        });
    });
    size_t ran = 0;
    while (request.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) ran += mainQueue->runPending();
    const VxMetaException refused = request.get();
    EXPECT_EQ(ran, 1u);
    EXPECT_EQ(refused.category, VXMECAT_MFA_REQUIRED);
    EXPECT_EQ(refused.message, "Multi-factor authentication required");
    EXPECT_EQ(refused.httpStatus, 403);

    // Raised on the main thread itself it never waits for the main queue.
    const VxMetaException inline_ = failureOf([] {
        VCSR executor;
        executor.get("ua/siteData");
    });
    EXPECT_EQ(inline_.category, VXMECAT_MFA_REQUIRED);
    EXPECT_EQ(mainQueue->runPending(), 0u);
    Platform::setMainQueue(nullptr);
}

TEST_F(MfaOnTheService, RejectedCertificateIsBlacklistedAndTheHostAskedAgain) {
    setCapableMfaKinds({MFA_KIND_CERTIFICATE, MFA_KIND_TOTP}, {});
    policy(R"({"required": true, "totp": {"allowed": true}, "certificate": {"allowed": true}})");
    totpPair();
    admin("/mfa/reject-certificate", R"({"associationValue": "revoked-cert"})");
    admin("/mfa/require", R"({"path": "ua/siteData", "action": "encrypt"})");
    answers({[](const MfaVerification&, MfaVerification& answer) {
                 answer.newPair = createMfaCertPair("revoked-cert", "cert secret");
                 answer.token = "000000";
             },
             codeOfOfferedPairing()});
    VCSR executor;
    executor.get("ua/siteData");
    EXPECT_EQ(calls(), 2u);
    const std::vector<Json::Value> sent = mfaHeadersTo("ua/siteData");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1]["newPair"]["associationValue"].asString(), "revoked-cert");
    EXPECT_FALSE(sent[2].isMember("newPair"));
    LockScope lock(masterMutex);
    const Json::Value& blacklists = myPersists->mfaCertificateBlacklists;
    ASSERT_EQ(blacklists.size(), 1u);
    EXPECT_EQ(jsonString(blacklists[blacklists.getMemberNames()[0]]), R"(["revoked-cert"])");
}

TEST_F(MfaOnTheService, ForgedPolicyInTheRefusalFailsTheRequest) {
    policy(R"({"required": true, "totp": {"allowed": true}})", true);
    totpPair();
    admin("/mfa/require", R"({"path": "ua/siteData", "action": "decrypt"})");
    const VxMetaException forged = failureOf([] {
        VCSR executor;
        executor.get("ua/siteData");
    });
    EXPECT_EQ(forged.category, VXMECAT_INVALID_SIGNATURE);
    EXPECT_EQ(calls(), 0u);
}

TEST_F(MfaOnTheService, CheckpointUploadsThePairingTheHostCreated) {
    setCapableMfaKinds({MFA_KIND_CERTIFICATE, MFA_KIND_TOTP}, {});
    policy(R"({"required": true, "decrypt": {"mode": 1, "gracePeriod": 300},
               "certificate": {"allowed": true}, "totp": {"allowed": true}})");
    {
        RecordListPtr<TeamData> teamData = TeamData::queryAll();
        LockScope lock(masterMutex);
        myTeamDatas = teamData;
    }
    updatePolicy();
    // The user holds a TOTP pairing; the new one has no association value either.
    totpPair();
    {
        RecordListPtr<MFAPair> pairs = MFAPair::queryAll();
        LockScope lock(masterMutex);
        myMFAPairs = pairs;
    }
    answers({[](const MfaVerification&, MfaVerification& answer) {
        auto pair = std::make_shared<MFAPair>();
        pair->kind = MFA_KIND_TOTP;
        pair->name = "new phone";
        pair->enabled = true;
        pair->secret = "JBSWY3DPEHPK3PXP";
        answer.newPair = pair;
    }});
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    EXPECT_EQ(calls(), 1u);
    const Json::Value stored = service.call("GET", "/records")["records"]["mfapair"];
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1]["name"].asString(), "new phone");
    EXPECT_EQ(stored[1]["secret"].asString(), "JBSWY3DPEHPK3PXP");
    {
        LockScope lock(masterMutex);
        ASSERT_EQ(myMFAPairs->size(), 2u);
        EXPECT_EQ(myMFAPairs->at(1)->id, stored[1]["id"].asInt64());
        EXPECT_EQ(globalState.mfaPolicy.clientVerifiedTime, 0);
    }
    // No further pairing and no answer: the action fails.
    const VxMetaException e = failureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); });
    EXPECT_EQ(e.message, "Multi-factor authentication required.");
}

TEST_F(MfaOnTheService, PairingsPageAndDrivers) {
    setCapableMfaKinds({MFA_KIND_CERTIFICATE, MFA_KIND_TOTP}, {});
    TeamData record;
    record.kind = "MFAPolicy";
    record.name = "MFA";
    record.updated_at = "2024-01-01T00:00:00Z";
    record.value = R"({"required": true, "certificate": {"allowed": true}})";
    record.verified = 1;
    const MfaPolicy certificates = MfaPolicy::fromTeamData(record);
    admin("/mfa/reject-certificate", R"({"associationValue": "revoked-cert"})");
    EXPECT_TRUE(addMfaPair(createMfaCertPair("good-cert", "s"), certificates));
    EXPECT_FALSE(addMfaPair(createMfaCertPair("revoked-cert", "s"), certificates));
    EXPECT_FALSE(addMfaPair(createMfaCertPair("revoked-cert", "s"), certificates));
    EXPECT_EQ(service.requestsTo("mfapair/").size(), 2u);
    EXPECT_EQ(service.call("GET", "/records")["records"]["mfapair"].size(), 1u);

    EXPECT_EQ(getManageMfaUrl(true), std::string(kPageBase) + "add-totp");
    const VxMetaException launch = failureOf([] { launchCreateTotpPairInBrowser(); });
    EXPECT_EQ(launch.message, std::string("Callback to launch browser not set up. Go to ") + kPageBase + "settings manually.");

    const Json::Value drivers = MfaCertificatePolicy::getPkcs11Configuration("Linux", "x86_64");
    ASSERT_EQ(drivers.size(), 1u);
    Json::Value down;
    down["kind"] = "down";
    service.fault(down);
    EXPECT_EQ(MfaCertificatePolicy::getPkcs11Configuration("Linux", "x86_64"), drivers);
    Json::Value options;
    options["lib"] = drivers[0]["path"];
    EXPECT_TRUE(MfaCertificatePolicy::setPkcs11Options(options));
}

} // namespace
