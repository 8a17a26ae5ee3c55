// The MFA checkpoint and the hand-off to the host: with this system's capable kinds the host is never
// called; with certificates verifiable the host (answering on threads of its own) is asked, and a
// token, a new pairing, nothing, a request for the MFA page or a failure of its own decide the
// outcome; the hand-off's wake-up from another thread and from the waiting thread itself.
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mfa_fixture.h"
#include "vxmeta/accounts/mfa_checkpoint.h"
#include "vxmeta/accounts/mfa_pairs.h"
#include "vxmeta/accounts/mfa_verification.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;
using VxMeta::testing::LogCapture;
using namespace VxMetaTest;

namespace {

// A decrypt action protected on the client with a grace period of 300 s.
const char kCertificatePolicy[] =
    R"({"required": true, "decrypt": {"mode": 1, "gracePeriod": 300}, "login": {"mode": 1, "gracePeriod": 300},
        "certificate": {"allowed": true}})";
const char kBothPolicy[] =
    R"({"required": true, "decrypt": {"mode": 1, "gracePeriod": 300}, "certificate": {"allowed": true},
        "totp": {"allowed": true}})";
const char kTotpPolicy[] = R"({"required": true, "decrypt": {"mode": 1, "gracePeriod": 300}, "totp": {"allowed": true}})";

using Answer = std::function<void(MfaVerification&)>;

// The test's host: answers each question in turn from a thread of its own, and remembers what it
// was asked.
struct Host {
    std::mutex mutex;
    std::deque<Answer> answers;
    std::vector<MfaVerification> asked;
    std::vector<int> masterDepthWhenAsked;
    std::vector<std::thread> threads;
};
Host* host = nullptr;

void answerOnAnotherThread(std::shared_ptr<Signaler>& signaler, MfaVerification verification) {
    Answer answer;
    {
        std::lock_guard<std::mutex> guard(host->mutex);
        host->asked.push_back(verification);
        host->masterDepthWhenAsked.push_back(masterLockDepth());
        if (!host->answers.empty()) {
            answer = host->answers.front();
            host->answers.pop_front();
        }
    }
    std::shared_ptr<Signaler> held = signaler;
    std::lock_guard<std::mutex> guard(host->mutex);
    host->threads.emplace_back([held, answer]() mutable {
        if (answer) {
            std::lock_guard<std::recursive_mutex> lock(*held->expectant->mutex);
            answer(held->expectant->result);
        }
        held.reset();
    });
}

Answer token(const std::string& code, double duration) {
    return [code, duration](MfaVerification& result) {
        result.token = code;
        result.pairId = 5;
        result.duration = duration;
    };
}

Answer newPair(std::shared_ptr<MFAPair> pair) {
    return [pair](MfaVerification& result) { result.newPair = pair; };
}

class MfaCheckpointTest : public MfaTest {
protected:
    void SetUp() override {
        MfaTest::SetUp();
        host = &theHost;
        logIn();
        setMfaVerificationCallback(&answerOnAnotherThread);
        setCapableMfaKinds({MFA_KIND_CERTIFICATE, MFA_KIND_TOTP}, {});
        holdPairs({mfaPair(MFA_KIND_CERTIFICATE, 5, true, "cert-5")});
        installPolicy(mfaPolicyOf(kCertificatePolicy));
    }
    void TearDown() override {
        for (std::thread& t : theHost.threads) t.join();
        host = nullptr;
        MfaTest::TearDown();
    }
    size_t calls() {
        std::lock_guard<std::mutex> guard(theHost.mutex);
        return theHost.asked.size();
    }
    void answers(std::vector<Answer> list) {
        std::lock_guard<std::mutex> guard(theHost.mutex);
        theHost.answers.assign(list.begin(), list.end());
    }

    Host theHost;
};

TEST_F(MfaCheckpointTest, ThisSystemsCapabilitiesNeverCallTheHost) {
    setCapableMfaKinds({MFA_KIND_TOTP}, {});
    // TOTP is verified by the service, so the client lets the action pass.
    installPolicy(mfaPolicyOf(kTotpPolicy));
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    // A certificate cannot be verified here.
    installPolicy(mfaPolicyOf(kCertificatePolicy));
    const VxMetaException e = mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); });
    EXPECT_EQ(e.category, VXMECAT_MFA_REQUIRED);
    EXPECT_EQ(e.message, "Multi-factor authentication required.");
    // Unprotected actions, no requirement, an empty action.
    mfaCheckpoint(MFA_ACTION_ENCRYPT);
    installPolicy(mfaPolicyOf(R"({"decrypt": {"mode": 1}, "certificate": {"allowed": true}})"));
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    mfaCheckpoint("");
    EXPECT_EQ(calls(), 0u);
    EXPECT_TRUE(mfaRequestsSent().empty());
}

TEST_F(MfaCheckpointTest, TokenIsRecordedAndCoversALaterActionWithinTheGracePeriod) {
    answers({token("123456", 600)});
    LogCapture log(5);
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    ASSERT_EQ(calls(), 1u);
    EXPECT_TRUE(log.contains("MFA requirement=\"decrypt\", verification success - token"));
    const MfaVerification& asked = theHost.asked[0];
    EXPECT_EQ(asked.action, MFA_ACTION_DECRYPT);
    EXPECT_TRUE(asked.clientSide);
    EXPECT_TRUE(asked.challenge.empty());
    ASSERT_EQ(asked.pairsByKind.count(MFA_KIND_CERTIFICATE), 1u);
    EXPECT_EQ((*asked.pairsByKind.at(MFA_KIND_CERTIFICATE).begin())->associationValue, "cert-5");
    EXPECT_EQ(theHost.masterDepthWhenAsked[0], 0) << "the host is called without the master lock";
    EXPECT_EQ(globalPolicy().clientVerifiedTime, kMfaStart);
    EXPECT_EQ(globalPolicy().clientVerifiedDuration, 600);

    // 100 s later: covered, nobody is asked, for another protected action too.
    clock->advanceSeconds(100);
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    mfaCheckpoint(MFA_ACTION_LOGIN);
    EXPECT_EQ(calls(), 1u);
    // 400 s after the verification: asked again; this time nothing comes back.
    clock->advanceSeconds(300);
    const VxMetaException e = mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); });
    EXPECT_EQ(e.message, "Multi-factor authentication required.");
    EXPECT_EQ(calls(), 2u);
    EXPECT_EQ(globalPolicy().clientVerifiedTime, kMfaStart) << "a failed checkpoint writes nothing back";
}

TEST_F(MfaCheckpointTest, NewPairingWithoutAssociationValueIsUploadedAndCounts) {
    installPolicy(mfaPolicyOf(kBothPolicy));
    holdPairs({mfaPair(MFA_KIND_TOTP, 1), mfaPair(MFA_KIND_CERTIFICATE, 5, true, "cert-5")});
    FakeTransport::answerAll(FakeReply(201, R"({"id": 8, "kind": "TOTP", "name": "new", "enabled": true})"));
    answers({newPair(mfaPair(MFA_KIND_TOTP, 0))});
    LogCapture log(5);
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    EXPECT_EQ(calls(), 1u);
    EXPECT_EQ(mfaRequestsSent(), std::vector<std::string>{"POST mfapair/"});
    EXPECT_EQ(heldPairCount(), 3u);
    EXPECT_TRUE(log.contains("MFA requirement=\"decrypt\", verification success - added new pair"));
    EXPECT_EQ(globalPolicy().clientVerifiedTime, 0) << "a new pairing records no verification";
}

TEST_F(MfaCheckpointTest, RejectedNewPairingAsksAgainWithTheSamePairs) {
    FakeTransport::answerAll(FakeReply(403, R"({"Message":"no","reason":"MFA Certificate Invalid"})"));
    answers({newPair(createMfaCertPair("cert-new", "s")), nullptr});
    const VxMetaException e = mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); });
    EXPECT_EQ(e.category, VXMECAT_MFA_REQUIRED);
    ASSERT_EQ(calls(), 2u);
    EXPECT_EQ(theHost.asked[1].pairsByKind.at(MFA_KIND_CERTIFICATE).size(), 1u);
    EXPECT_EQ(globalPolicy().getCertificatePolicy().getBlacklist(), std::set<std::string>{"cert-new"});
}

TEST_F(MfaCheckpointTest, UnansweredFailedOrLaunchingHostFailsTheAction) {
    {
        LogCapture log(5);
        const VxMetaException e = mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); });
        EXPECT_EQ(e.category, VXMECAT_MFA_REQUIRED);
        EXPECT_EQ(e.message, "Multi-factor authentication required.");
        EXPECT_TRUE(log.contains("MFA requirement=\"decrypt\", verification failed"));
    }
    // A host that throws: one line at level 1.
    struct Thrower {
        static void standard(std::shared_ptr<Signaler>&, MfaVerification) { throw std::runtime_error("boom"); }
        static void library(std::shared_ptr<Signaler>&, MfaVerification) {
            throw VxMetaException(VXMECAT_CLIENT, "no window");
        }
        static void other(std::shared_ptr<Signaler>&, MfaVerification) { throw 42; }
    };
    const std::pair<MfaVerificationCallback::Function, std::string> throwers[] = {
        {&Thrower::standard, "Unhandled Exception when performing MFA callback - boom"},
        {&Thrower::library, "Unhandled VxMetaException when performing MFA callback - no window"},
        {&Thrower::other, "Unhandled Exception when performing MFA callback"},
    };
    for (const auto& [function, line] : throwers) {
        setMfaVerificationCallback(function);
        LogCapture log(1);
        EXPECT_EQ(mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); }).category, VXMECAT_MFA_REQUIRED);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0], std::make_pair(1, line));
    }
    // No callback at all: nothing is called, same failure.
    setMfaVerificationCallback(nullptr);
    EXPECT_EQ(mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); }).message, "Multi-factor authentication required.");

    // No pairing and none can be created: the policy's own text.
    setMfaVerificationCallback(&answerOnAnotherThread);
    holdPairs({});
    EXPECT_EQ(mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); }).message,
              MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CANNOT_CREATE_DEFAULT);

    // The host asks for the MFA page: without a browser hook that failure passes on.
    holdPairs({mfaPair(MFA_KIND_CERTIFICATE, 5, true, "cert-5")});
    FakeTransport::answerAll(FakeReply(200, R"({"url": "https://keys.example.test/mfa"})"));
    answers({[](MfaVerification& result) { result.shouldLaunchCreateRemotely = true; }});
    const VxMetaException launch = mfaFailureOf([] { mfaCheckpoint(MFA_ACTION_DECRYPT); });
    EXPECT_EQ(launch.category, VXMECAT_CLIENT);
    EXPECT_EQ(launch.message, "Callback to launch browser not set up. Go to https://keys.example.test/mfa manually.");

    // An invalid policy fails every action with the forgery error.
    installPolicy(mfaPolicyOf(kCertificatePolicy, 2));
    for (const char* action : {MFA_ACTION_LOGIN, MFA_ACTION_ENCRYPT, "share"}) {
        EXPECT_EQ(mfaFailureOf([&] { mfaCheckpoint(action); }).category, VXMECAT_INVALID_SIGNATURE);
    }
    EXPECT_EQ(masterLockDepth(), 0);
}

TEST_F(MfaCheckpointTest, PolicyUpdatedDuringTheWaitStaysAndTakesTheVerification) {
    // The host answers only once a newer policy is in force.
    answers({[](MfaVerification& result) {
        MfaPolicy newer = mfaPolicyOf(R"({"required": true, "notifyUserToAddMFA": true})", 1, "2024-03-01T00:00:00Z");
        {
            LockScope lock(masterMutex);
            newer.setClientVerified(globalState.mfaPolicy);
            globalState.mfaPolicy = newer;
        }
        result.token = "654321";
        result.duration = 120;
    }});
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    const MfaPolicy inForce = globalPolicy();
    EXPECT_TRUE(inForce.shouldNotifyUserToAddMfa()) << "the update was reverted";
    EXPECT_EQ(inForce.getCertificatePolicy().policyId, "MFAPolicy-MFA-4:2024-03-01T00:00:00Z");
    EXPECT_EQ(inForce.clientVerifiedTime, kMfaStart);
    EXPECT_EQ(inForce.clientVerifiedDuration, 120);
}

// Hosts that let go of the signaler on the waiting thread, or on another thread before the callback
// has returned.
std::string handOffAnswer;
std::thread releaser;
void releaseInside(std::shared_ptr<Signaler>& signaler, MfaVerification) {
    signaler->expectant->result.token = handOffAnswer;
    signaler.reset();
}
void releaseElsewhereFirst(std::shared_ptr<Signaler>& signaler, MfaVerification) {
    std::shared_ptr<Signaler> copy = signaler;
    releaser = std::thread([copy]() mutable {
        {
            std::lock_guard<std::recursive_mutex> lock(*copy->expectant->mutex);
            copy->expectant->result.token = handOffAnswer;
        }
        copy.reset();
    });
    // The releasing thread waits for the hand-off mutex, which the caller holds until it waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST_F(MfaCheckpointTest, HandOffWakesOnAReleaseFromAnyThread) {
    for (auto function : {&releaseInside, &releaseElsewhereFirst}) {
        handOffAnswer = "answer";
        const MfaVerificationCallback callback(function);
        MfaVerification verification;
        verification.action = "question";
        callback.wait(verification, {}, MfaPolicy());
        if (releaser.joinable()) releaser.join();
        EXPECT_EQ(verification.getToken(), "answer");
        EXPECT_TRUE(verification.action.empty()) << "the answer replaces the question";
    }
    // Through the checkpoint: a token released inside the callback passes at once.
    handOffAnswer = "111111";
    setMfaVerificationCallback(&releaseInside);
    mfaCheckpoint(MFA_ACTION_DECRYPT);
    EXPECT_EQ(globalPolicy().clientVerifiedTime, kMfaStart);
}

#ifndef NDEBUG
// Waiting for the host while holding the master lock would stall every library thread: debug builds
// stop, whether the caller reached the wait through the checkpoint or directly.
TEST(MfaCheckpointDeathTest, WaitingForTheHostWithTheMasterLockHeldStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            LockScope scope(masterMutex);
            MfaVerification verification;
            MfaVerificationCallback(&releaseInside).wait(verification, {}, MfaPolicy());
        },
        "master lock held at an MFA wait");
    EXPECT_DEATH(
        {
            LockScope scope(masterMutex);
            mfaCheckpoint(MFA_ACTION_DECRYPT);
        },
        "master lock held at MFA checkpoint");
}
#endif

} // namespace
