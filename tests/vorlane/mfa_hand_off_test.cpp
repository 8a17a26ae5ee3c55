// The MFA hand-off as the library's wait drives it: a request from a background thread stays
// blocked while the main queue is busy and ends, unanswered, once the main queue has run the
// hand-off; a request made on the main thread itself ends at once, unanswered, leaving nothing queued.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "Vorlane/MFA/perform_mfa_verification.h"
#include "support/test_main_loop.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/foundation/log.h"

namespace {

// A verification carrying an answer already, so the test sees it replaced by the hand-off's (none).
VxMeta::MfaVerification question() {
    VxMeta::MfaVerification verification;
    verification.action = "decrypt";
    verification.token = "left over";
    verification.shouldLaunchCreateRemotely = true;
    return verification;
}

void expectUnanswered(const VxMeta::MfaVerification& verification) {
    EXPECT_EQ(verification.token, "");
    EXPECT_EQ(verification.newPair, nullptr);
    EXPECT_FALSE(verification.shouldLaunchCreateRemotely);
}

const VxMeta::MfaVerificationCallback handOff(&VorlaneBridge::performMFAVerification);

TEST(MfaHandOff, FromABackgroundThreadWaitsForTheMainQueueAndEndsUnanswered) {
    VxMeta::testing::TestMainLoop loop;
    std::atomic<bool> ended = false;
    bool endedWhileMainWasBusy = true;
    // The main queue is busy when the request arrives.
    loop.main().async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        endedWhileMainWasBusy = ended.load();
    });
    VxMeta::MfaVerification verification = question();
    std::thread library([&] {
        handOff.wait(verification, {}, VxMeta::MfaPolicy());
        ended = true;
    });
    ASSERT_TRUE(loop.runUntil([&] { return ended.load(); }));
    library.join();
    EXPECT_FALSE(endedWhileMainWasBusy);
    expectUnanswered(verification);
}

TEST(MfaHandOff, OnTheMainThreadEndsAtOnceUnanswered) {
    VxMeta::testing::TestMainLoop loop;
    VxMeta::MfaVerification verification = question();
    // Run where a hang would show as a time-out, not as a stuck test program.
    auto ended = std::async(std::launch::async, [&] {
        loop.main().bindToCurrentThread(); // this thread now plays the main thread
        handOff.wait(verification, {}, VxMeta::MfaPolicy());
    });
    ASSERT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    loop.main().bindToCurrentThread();
    EXPECT_EQ(loop.runPending(), 0u) << "work was left for the main queue";
    expectUnanswered(verification);
}

} // namespace
