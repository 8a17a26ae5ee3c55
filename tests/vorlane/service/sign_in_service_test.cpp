// The sign-in through the account facade against the test key service: an ordinary account signs in
// with the typed password; a managed one with the directory password and gets the account's own; a
// managed sign-in refused for MFA ends there, any other refusal falls back to the plain sign-in; a
// communication failure counts as signed in only for the account that is signed in.
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Vorlane/Account/account_facade.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "Vorlane/MFA/perform_mfa_verification.h"
#include "support/test_main_loop.h"
#include "vorlane/service/framework_fixture.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"

using namespace VorlaneBridge;

namespace {

class SignIn : public VorlaneTest::FrameworkServiceTest {
protected:
    void SetUp() override {
        FrameworkServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        auto wrapper = VorlaneTest::programWrapper();
        loginHelper = std::make_shared<LoginHelper>(wrapper);
        accounts = std::make_shared<AccountFacade>(wrapper, loginHelper, std::make_shared<CreateAccountHelper>(wrapper),
                                                   std::make_shared<MigrationHelper>(wrapper));
    }
    void TearDown() override {
        if (accounts && accounts->isLoggedIn()) accounts->logout();
        FrameworkServiceTest::TearDown();
    }
    static std::shared_ptr<VLCredential> typed(const std::string& email, const std::string& password) {
        auto credential = std::make_shared<VLCredential>();
        credential->email = email;
        credential->activeDirectoryPassword = password;
        credential->systemPassword = password; // as the application hands it in
        return credential;
    }

    std::shared_ptr<LoginHelper> loginHelper;
    std::shared_ptr<AccountFacade> accounts;
};

TEST_F(SignIn, OrdinaryAccountSignsInWithTheTypedPassword) {
    newAccount("plain@example.test");
    auto credential = typed("plain@example.test", kPassword);
    credential->systemPassword.reset();
    Platform::Error error;
    EXPECT_EQ(accounts->loginWithCredential(credential, true, &error), credential);
    EXPECT_EQ(credential->systemPassword, kPassword);
    EXPECT_TRUE(accounts->isLoggedIn());
    EXPECT_EQ(requestsTo("ua/loginManagedAccount"), 0u);
}

TEST_F(SignIn, ManagedAccountGetsTheAccountsOwnPassword) {
    newAccount("mia@example.test", "", kDirectoryPassword);
    auto credential = typed("mia@example.test", kDirectoryPassword);
    Platform::Error error;
    EXPECT_EQ(accounts->loginWithCredential(credential, false, &error), credential);
    EXPECT_EQ(credential->systemPassword, kPassword);
    EXPECT_TRUE(accounts->isLoggedIn());
    EXPECT_EQ(requestsTo("ua/login/"), 0u);
}

TEST_F(SignIn, ManagedSignInRefusedForMfaEndsThere) {
    VxMeta::testing::TestMainLoop loop; // the hand-off's main queue; nobody answers
    VxMeta::setCapableMfaKinds({VxMeta::MFA_KIND_TOTP}, {});
    VxMeta::setMfaVerificationCallback(&performMFAVerification);
    newAccount("mia@example.test", "", kDirectoryPassword);
    service.call("POST", "/mfa/pairs", R"({"kind": "TOTP", "name": "phone"})");
    service.call("POST", "/mfa/require", R"({"path": "ua/loginManagedAccount", "action": "login"})");

    Platform::Error error;
    std::shared_ptr<VLCredential> result;
    std::atomic<bool> ended = false;
    std::thread caller([&] {
        result = accounts->loginWithCredential(typed("mia@example.test", kDirectoryPassword), true, &error);
        ended = true;
    });
    EXPECT_TRUE(loop.runUntil([&] { return ended.load(); }));
    caller.join();
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(vxmetaCategory(error), VxMeta::VXMECAT_MFA_REQUIRED);
    EXPECT_GE(requestsTo("ua/loginManagedAccount"), 1u);
    EXPECT_EQ(requestsTo("ua/login/"), 0u) << "the plain sign-in followed";
}

TEST_F(SignIn, OtherManagedRefusalFallsBackToThePlainSignIn) {
    newAccount("mia@example.test", "", kDirectoryPassword);
    service.fault(VxMeta::parseJson(
        R"({"kind":"status","status":400,"body":"{\"Message\":\"refused\"}","count":1,"path":"ua/loginManagedAccount"})"));
    auto credential = typed("mia@example.test", kPassword);
    credential->systemPassword = "stale";
    Platform::Error error;
    EXPECT_EQ(accounts->loginWithCredential(credential, true, &error), credential);
    EXPECT_EQ(credential->systemPassword, kPassword);
    EXPECT_EQ(vxmetaCategory(error), VxMeta::VXMECAT_HTTP) << "the managed refusal stays";
    // The plain sign-in of this fresh device takes the account-transfer road.
    const std::vector<std::string> sent = paths();
    const auto managed = std::find(sent.begin(), sent.end(), "ua/loginManagedAccount");
    ASSERT_NE(managed, sent.end());
    EXPECT_NE(std::find(managed, sent.end(), "ua/accountTransfer"), sent.end());

    // Both passwords refused: none, with the last attempt's error.
    accounts->logout();
    VxMeta::setMds(service.servers.at(0), service.servicePublicKey); // the sign-out forgot the server
    VxMeta::cacheLoginParameters.clear();
    auto wrong = typed("mia@example.test", "wrong one");
    wrong->systemPassword = "also wrong";
    EXPECT_EQ(accounts->loginWithCredential(wrong, false, &error), nullptr);
    EXPECT_EQ(vxmetaReason(error), VxMeta::VXMEREASON_CREDENTIALS);
    EXPECT_EQ(wrong->systemPassword, "also wrong");
}

TEST_F(SignIn, CommunicationFailureCountsOnlyForTheAccountThatIsSignedIn) {
    newAccount("held@example.test");
    // The service is lost after the account signed in (while the device is looked up): this account,
    // asked for in another letter case, stays signed in, and the error is left as it was.
    service.fault(VxMeta::parseJson(R"({"kind":"down","path":"device"})"));
    const Platform::Error untouched("Untouched", 1);
    Platform::Error error = untouched;
    EXPECT_TRUE(loginHelper->loginUnmanagedAccountWithEmail("HELD@example.test", kPassword, false, &error));
    EXPECT_EQ(error, untouched);
    EXPECT_TRUE(loginHelper->isLoggedIn());

    // Lost before anyone signed in: a failure.
    accounts->logout();
    VxMeta::setMds(service.servers.at(0), service.servicePublicKey); // the sign-out forgot the server
    VxMeta::cacheLoginParameters.clear();
    service.fault(VxMeta::parseJson(R"({"kind":"down"})"));
    EXPECT_FALSE(loginHelper->loginUnmanagedAccountWithEmail("held@example.test", kPassword, false, &error));
    EXPECT_EQ(vxmetaCategory(error), VxMeta::VXMECAT_COMMUNICATION_ERROR);
    EXPECT_FALSE(loginHelper->isLoggedIn());
}

} // namespace
