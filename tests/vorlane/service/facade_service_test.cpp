// The facade against the test key service on a test main loop with a fake clock: the timer's period
// follows the persisted polling interval and one timer runs however many synchronizations succeed;
// its tick synchronizes on the global queue; a changed password stops it and posts its notice; a
// device the service disabled is signed out; a sign-in whose store fails reports failure and hands
// the same changes out again; an account is created under its lower-case address; the sign-out
// completes when the storage cannot remove; a storage that cannot restore is a failure.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/notification_center.h"
#include "Vorlane/Comm/communicate_with_mds.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "Vorlane/vorlane_facade.h"
#include "support/plain_port.h"
#include "support/test_main_loop.h"
#include "vorlane/service/framework_fixture.h"
#include "vorlane/service/recording_storage.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"

using namespace VorlaneBridge;
using namespace std::chrono_literals;

namespace {

constexpr char kGuid[] = "LIN-6F0A3C1E-2B7D-4E59-9A61-0C8D5B2E7F43";
constexpr char kEmail[] = "facade@example.test";

class FacadeOnTheService : public VorlaneTest::FrameworkServiceTest {
protected:
    void SetUp() override {
        FrameworkServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        loop = std::make_unique<VxMeta::testing::TestMainLoop>();
        Platform::Bundle bundle;
        bundle.infoDictionary = {{kMetaclientAppName, "Reader"}, {"CFBundleShortVersionString", "1.0"}};
        storage = std::make_shared<VorlaneTest::RecordingStorage>();
        facade = std::make_shared<VorlaneFacade>(VorlaneTest::programWrapper(),
                                                 std::make_shared<Platform::InMemoryUserDefaults>(), storage, bundle,
                                                 kGuid, "desk one", "12");
    }
    void TearDown() override {
        if (facade) {
            loop->runPending();
            facade->stopTimer();
            facade.reset();
        }
        loop.reset();
        VxMeta::platformVersion.clear();
        VxMeta::platformSubtype.clear();
        VxMeta::terminal_name.clear();
        VxMeta::appCapabilities.clear();
        VxMeta::setForScopes.clear();
        VxMeta::knownFeatures.clear();
        FrameworkServiceTest::TearDown();
    }

    // A password account made by the service, signed in through the facade.
    int64_t signIn() {
        const Json::Value account = newAccount(kEmail);
        auto credential = std::make_shared<VLCredential>();
        credential->email = kEmail;
        credential->activeDirectoryPassword = kPassword;
        Platform::Error error;
        EXPECT_NE(facade->loginWithCredential(credential, false, &error), nullptr) << error.localizedDescription();
        return account["id"].asInt64();
    }
    bool clientSync(Platform::Error* error = nullptr) {
        const bool synchronized = facade->clientSyncWithError(error);
        loop->runPending(); // the timer's start or stop
        return synchronized;
    }
    static void pollingInterval(int32_t seconds) {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::getMyPersists()->pollingInterval = seconds;
    }
    // Notices of one name posted on the default centre while the test runs.
    struct Notices {
        Notices(const std::string& name)
            : observer(Platform::NotificationCenter::defaultCenter(), name,
                       [this](const Platform::Notification& notice) { seen.push_back(notice); }) {}
        std::vector<Platform::Notification> seen;
        Platform::ScopedObserver observer;
    };
    void expectSignedOut() {
        EXPECT_FALSE(facade->userIsAlreadyLoggedIn());
        EXPECT_EQ(facade->userState(), 0u);
        EXPECT_EQ(facade->host().rfind("https://mds.tarvex.example/mds", 0), 0u) << facade->host();
        EXPECT_TRUE(loop->runningTimerPeriods().empty());
        VxMeta::LockScope lock(VxMeta::masterMutex);
        EXPECT_TRUE(VxMeta::myPID->urn.empty());
        EXPECT_EQ(VxMeta::myDevice->id, 0);
    }

    std::unique_ptr<VxMeta::testing::TestMainLoop> loop;
    std::shared_ptr<VorlaneTest::RecordingStorage> storage;
    std::shared_ptr<VorlaneFacade> facade;
};

TEST_F(FacadeOnTheService, TimerPeriodFollowsThePollingIntervalAndOneTimerRuns) {
    signIn();
    EXPECT_EQ(facade->userState(), 2u);
    EXPECT_EQ(facade->email(), kEmail);
    struct PeriodCase {
        int32_t interval;
        std::chrono::milliseconds period;
    };
    const PeriodCase cases[] = {{0, 60s}, {-5, 60s}, {1, 1s}, {90, 90s}};
    for (const PeriodCase& c : cases) {
        SCOPED_TRACE(c.interval);
        facade->stopTimer();
        ASSERT_TRUE(facade->clientSyncWithError(nullptr));
        pollingInterval(c.interval); // read when the timer starts, on the main queue
        loop->runPending();
        EXPECT_EQ(loop->runningTimerPeriods(), std::vector<std::chrono::milliseconds>{c.period});
    }
    // Two more successes: still the one timer, with its first period.
    const size_t scheduled = loop->timersEverScheduled();
    pollingInterval(30);
    ASSERT_TRUE(clientSync());
    ASSERT_TRUE(clientSync());
    EXPECT_EQ(loop->timersEverScheduled(), scheduled);
    EXPECT_EQ(loop->runningTimerPeriods(), std::vector<std::chrono::milliseconds>{90s});

    // A tick synchronizes on the global queue and stores what it found.
    const size_t stores = storage->handed.size();
    loop->advance(90s);
    EXPECT_TRUE(loop->runUntil([&] {
        std::lock_guard<std::mutex> guard(storage->mutex);
        return storage->handed.size() > stores;
    }));
    EXPECT_EQ(loop->runningTimerPeriods().size(), 1u);
}

TEST_F(FacadeOnTheService, ChangedPasswordStopsTheTimerAndPostsItsNotice) {
    const int64_t id = signIn();
    service.call("POST", "/sync/user/" + std::to_string(id), R"({"sproxy":"first"})");
    ASSERT_TRUE(clientSync());
    ASSERT_EQ(loop->runningTimerPeriods().size(), 1u);

    service.call("POST", "/sync/user/" + std::to_string(id), R"({"sproxy":"second"})");
    Notices changed("kPasswordChangedNotification");
    Notices disabled(kVorlaneDeviceDisabledNotification);
    Platform::Error error;
    EXPECT_FALSE(clientSync(&error));
    const std::string description = "Password has changed. The user needs to enter new password to continue.";
    EXPECT_EQ(error, Platform::Error("PellixMetaclientErrorDomain", 25, {{"NSLocalizedDescription", description}}));
    ASSERT_EQ(changed.seen.size(), 1u);
    EXPECT_EQ(changed.seen[0].object, facade.get());
    ASSERT_NE(changed.seen[0].userInfoValue<std::string>("NSLocalizedDescription"), nullptr);
    EXPECT_EQ(*changed.seen[0].userInfoValue<std::string>("NSLocalizedDescription"), description);
    EXPECT_TRUE(loop->runningTimerPeriods().empty());
    EXPECT_TRUE(disabled.seen.empty());
    EXPECT_EQ(storage->removals, 0) << "signed the device out";
}

TEST_F(FacadeOnTheService, DisabledDeviceIsSignedOut) {
    signIn();
    ASSERT_TRUE(clientSync());
    int64_t deviceId = 0;
    {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        deviceId = VxMeta::myDevice->id;
    }
    ASSERT_GT(deviceId, 0);
    service.call("POST", "/sync/device/" + std::to_string(deviceId), R"({"enabled":false})");
    Notices disabled(kVorlaneDeviceDisabledNotification);
    Platform::Error error;
    EXPECT_FALSE(clientSync(&error));
    EXPECT_EQ(error.domain, VLErrorDomain);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(vxmetaCategory(error), VxMeta::VXMECAT_DEVICE_NOT_ALLOWED);
    ASSERT_EQ(disabled.seen.size(), 1u);
    EXPECT_EQ(disabled.seen[0].object, facade.get());
    EXPECT_EQ(storage->removals, 1);
    EXPECT_TRUE(storage->kept.empty());
    expectSignedOut();
}

TEST_F(FacadeOnTheService, AServerTypedWithoutSchemeIsReachedOverHttpsAndAPlainOneIsRefused) {
    newAccount(kEmail);
    auto credential = std::make_shared<VLCredential>();
    credential->email = kEmail;
    credential->activeDirectoryPassword = kPassword;
    Platform::Error error;

    // An "http://" server: refused before anything is sent, with the secure-connection notice.
    Notices refused(kCallbackSecureConnectionFailed);
    VxMetaTest::PlainPort plain;
    facade->setHost("http://" + plain.hostAndPort());
    EXPECT_EQ(facade->loginWithCredential(credential, false, &error), nullptr);
    EXPECT_FALSE(facade->userIsAlreadyLoggedIn());
    EXPECT_FALSE(plain.connected()) << "the sign-in went out in clear";
    EXPECT_FALSE(refused.seen.empty());

    // A server typed as "address///server" names no scheme: it is an HTTPS one.
    const std::string server = service.servers.at(0);
    ASSERT_EQ(server.rfind("https://", 0), 0u);
    facade->setHost(server.substr(8));
    EXPECT_EQ(facade->host(), server);
    EXPECT_NE(facade->loginWithCredential(credential, false, &error), nullptr) << error.localizedDescription();
    EXPECT_TRUE(facade->userIsAlreadyLoggedIn());
}

TEST_F(FacadeOnTheService, SignInWhoseStoreFailsReportsItAndHandsTheChangesOutAgain) {
    newAccount(kEmail);
    storage->failStore = true;
    auto credential = std::make_shared<VLCredential>();
    credential->email = kEmail;
    credential->activeDirectoryPassword = kPassword;
    Platform::Error error;
    EXPECT_EQ(facade->loginWithCredential(credential, false, &error), nullptr);
    EXPECT_EQ(error, VorlaneTest::RecordingStorage::refusal("store"));
    EXPECT_TRUE(facade->userIsAlreadyLoggedIn()) << "the library's sign-in stands";
    ASSERT_EQ(storage->handed.size(), 1u);
    const std::vector<std::string> refused = VorlaneTest::RecordingStorage::namesOf(storage->handed[0]);
    EXPECT_GT(refused.size(), 3u);

    storage->failStore = false;
    EXPECT_TRUE(facade->storeMetadataChangesOnly(true, &error));
    const std::vector<std::string> again = VorlaneTest::RecordingStorage::namesOf(storage->handed.back());
    for (const std::string& name : refused) {
        EXPECT_NE(std::find(again.begin(), again.end(), name), again.end()) << name << " was lost";
    }
    // What the storage now keeps restores the signed-in state.
    facade->accountFacade()->logout();
    ASSERT_FALSE(facade->userIsAlreadyLoggedIn());
    EXPECT_TRUE(facade->restoreMetadataWithError(&error)) << error.localizedDescription();
    EXPECT_EQ(facade->email(), kEmail);
}

TEST_F(FacadeOnTheService, AccountIsCreatedUnderItsLowerCaseAddressEvenWhenTheStoreFails) {
    storage->failStore = true;
    Platform::Error error;
    EXPECT_TRUE(facade->createAccountWithName("New User", "New.User@Example.TEST", kPassword, &error));
    EXPECT_EQ(lastBody("ua/createAccount/")["pid"]["record"]["email"].asString(), "new.user@example.test");
    EXPECT_EQ(facade->email(), "new.user@example.test");
    EXPECT_EQ(error, VorlaneTest::RecordingStorage::refusal("store"));
}

TEST_F(FacadeOnTheService, SignOutCompletesWhenTheStorageCannotRemove) {
    signIn();
    ASSERT_TRUE(clientSync());
    ASSERT_EQ(loop->runningTimerPeriods().size(), 1u);
    storage->failRemove = true;
    facade->unlink();
    loop->runPending();
    EXPECT_EQ(storage->removals, 1);
    expectSignedOut();
}

TEST_F(FacadeOnTheService, StorageThatCannotRestoreIsAFailureAndLeavesTheDatasetAlone) {
    signIn();
    storage->failRestore = true;
    Platform::Error error;
    EXPECT_FALSE(facade->restoreMetadataWithError(&error));
    EXPECT_EQ(error, VorlaneTest::RecordingStorage::refusal("restore"));
    EXPECT_TRUE(facade->userIsAlreadyLoggedIn());
    EXPECT_EQ(facade->email(), kEmail);
}

TEST_F(FacadeOnTheService, FailedSynchronizationStopsTheTimerUntilALaterSuccess) {
    signIn();
    ASSERT_TRUE(clientSync());
    service.fault(VxMeta::parseJson(R"({"kind":"status","status":400,"body":"{\"Message\":\"refused\"}","count":1,"path":"etag"})"));
    Platform::Error error;
    EXPECT_FALSE(clientSync(&error));
    EXPECT_EQ(vxmetaMessage(error), "refused");
    EXPECT_TRUE(loop->runningTimerPeriods().empty());
    ASSERT_TRUE(clientSync());
    EXPECT_EQ(loop->runningTimerPeriods().size(), 1u);
}

} // namespace
