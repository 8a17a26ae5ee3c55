#include "support/fake_transport.h"
#include "support/fixed_random_source.h"

#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_exception.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/perform_op_server.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/random_source.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"

#include <optional>

using namespace VxMeta;
using namespace VxMeta::testing;
using TarvexProtocol::Url;

namespace {

class ServerState : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        setClock(clock);
    }
    void TearDown() override {
        setClock(nullptr);
        setRandomSource(nullptr);
        PipelineTest::TearDown();
    }
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(1'000'000);
    TarvexProtocol::UrlPtr url = Url::newInstance("https://a.example/mds", "");
};

TEST_F(ServerState, BackOffFigures) {
    struct BackOffCase {
        int32_t n;
        uint32_t base;
        uint32_t r1;
        uint32_t r2; // odd: later, even: earlier
        int64_t delay;
        int32_t errorCount;
    };
    const BackOffCase cases[] = {
        {0, 60, 5999, 1, 65'999, 1},
        {0, 60, 5999, 2, 54'001, 1},
        {0, 60, 6000, 1, 60'000, 1},
        {3, 60, 0, 1, 480'000, 4},
        {5, 60, 0, 0, 1'920'000, 6},
        {40, 1, 123, 0, 3'600'000, 31}, // counted as 30 failures
        {12, 1, 409'599, 0, 3'600'000, 13},
        {12, 1, 409'599, 1, 3'600'000, 13},
        // A missing polling interval (0) reads as 60 seconds, not as "down until marked up".
        {0, 0, 0, 1, 60'000, 1},
        {2, 4294967295u, 7, 1, 3'600'000, 3},
    };
    for (const BackOffCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " x " + std::to_string(c.base));
        setRandomSource(std::make_shared<FixedSource>(std::vector<uint32_t>{c.r1, c.r2}));
        ClusterServer server(url);
        server.setIsDown(c.n, c.base);
        EXPECT_EQ(server.getDownUntil() - clock->nowMillis(), c.delay);
        EXPECT_EQ(server.getErrorCount(), c.errorCount);
        EXPECT_FALSE(server.isUp());
    }
}

TEST_F(ServerState, JitterStaysWithinATenth) {
    setRandomSource(std::make_shared<SeededRandomSource>(7));
    for (int i = 0; i < 1000; ++i) {
        uint64_t value = jitter(60'000);
        ASSERT_GE(value, 54'001u);
        ASSERT_LE(value, 65'999u);
    }
    EXPECT_EQ(jitter(0), 0u);
}

TEST_F(ServerState, ComesBackUpWhenTheTimeHasPassed) {
    setRandomSource(std::make_shared<FixedSource>(std::vector<uint32_t>{0, 1}));
    ClusterServer server(url);
    EXPECT_TRUE(server.isUp());
    server.setIsDown(60);
    clock->advanceMillis(60'000);
    EXPECT_FALSE(server.isUp()); // down until exactly now
    clock->advanceMillis(1);
    EXPECT_TRUE(server.isUp());
    EXPECT_EQ(server.getErrorCount(), 1); // up again by time, the count stays
    server.setIsDown(60);
    EXPECT_EQ(server.getErrorCount(), 2);
    server.setIsUp();
    EXPECT_EQ(server.getErrorCount(), 0);
    EXPECT_TRUE(server.isUp());
}

TEST_F(ServerState, FailuresAreClassifiedForFailover) {
    struct Outcome {
        const char* name;
        const char* category;
        int64_t status;
        const char* reason;
        std::optional<bool> signalNeedsMaster; // nullopt: no signal
        bool rethrown;
        bool markedDown;
    };
    const Outcome cases[] = {
        {"send to master", VXMECAT_HTTP, 501, "Send To Master", true, false, false},
        {"501 other reason", VXMECAT_COMMUNICATION_ERROR, 501, "", std::nullopt, true, false},
        {"no reply", VXMECAT_COMMUNICATION_ERROR, 0, "", false, false, true},
        {"503", VXMECAT_COMMUNICATION_ERROR, 503, "", false, false, true},
        {"500", VXMECAT_HTTP, 500, "", false, false, true},
        {"inactive endpoint on 400", VXMECAT_HTTP, 400, "InactiveEndpoint", false, false, true},
        {"400", VXMECAT_HTTP, 400, "", std::nullopt, false, false},
        {"404", VXMECAT_HTTP, 404, "", std::nullopt, false, false},
        {"403 MFA", VXMECAT_MFA_REQUIRED, 403, "MFA Required", std::nullopt, false, false},
    };
    for (const Outcome& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = std::make_shared<ClusterServer>(url);
        server->setIsDown(60); // a failure before: "Send To Master" marks it up again
        clock->advanceMillis(3'600'001);
        int32_t before = server->getErrorCount();
        PerformOpServer handle(server);
        VxMetaException failure(c.category, "message");
        failure.httpStatus = c.status;
        failure.reason = c.reason;
        std::optional<bool> signal;
        bool rethrown = false;
        try {
            handle.gotResponse(failure);
        } catch (const ClusterException& e) {
            signal = e.needMaster;
            ASSERT_NE(e.cause, nullptr);
            EXPECT_EQ(e.cause->httpStatus, c.status);
        } catch (const VxMetaException& e) {
            rethrown = true;
            EXPECT_EQ(e.reason, c.reason);
        }
        EXPECT_EQ(signal, c.signalNeedsMaster);
        EXPECT_EQ(rethrown, c.rethrown);
        EXPECT_EQ(!server->isUp(), c.markedDown);
        if (c.markedDown) {
            EXPECT_EQ(server->getErrorCount(), before + 1);
        }
        if (c.signalNeedsMaster == true) {
            EXPECT_EQ(server->getErrorCount(), 0);
        }
    }
}

TEST_F(ServerState, StoredPollingIntervalIsTheBackOffBase) {
    // A stored interval below one second must not leave a failed server selectable at once.
    struct BaseCase {
        int32_t pollingInterval;
        int64_t delay;
    };
    const BaseCase cases[] = {{30, 30'000}, {1, 1'000}, {0, 60'000}, {-5, 60'000}, {-2'147'483'647 - 1, 60'000}};
    std::shared_ptr<Persists> kept = myPersists;
    for (const BaseCase& c : cases) {
        SCOPED_TRACE(c.pollingInterval);
        myPersists = std::make_shared<Persists>();
        myPersists->pollingInterval = c.pollingInterval;
        setRandomSource(std::make_shared<FixedSource>(std::vector<uint32_t>{0, 1})); // no jitter
        auto server = std::make_shared<ClusterServer>(url);
        PerformOpServer handle(server);
        EXPECT_THROW(handle.gotResponse(VxMetaException(VXMECAT_COMMUNICATION_ERROR, "down")), ClusterException);
        EXPECT_EQ(server->getDownUntil() - clock->nowMillis(), c.delay);
        EXPECT_FALSE(server->isUp());
    }
    myPersists = kept;
}

TEST_F(ServerState, SendToMasterFromTheMasterAsksForTheClusterAgain) {
    ClusterEvaluatorPtr evaluator = getMyClusterEvaluator();
    evaluator->manuallyRetrievedCtag("");
    TarvexProtocol::ClusterInfoPtr one = TarvexProtocol::ClusterInfo::fromJson(
        parseJson(R"({"ctag":"t","members":[{"url":"https://a.example/mds","isMaster":true}]})"));
    evaluator->setClusterInfo(one, false);
    ASSERT_FALSE(evaluator->isEtagCheckNeeded());
    PerformOpServer handle(getMyClusterServers()->getServerForUrl(url));
    VxMetaException failure(VXMECAT_HTTP, "m");
    failure.httpStatus = 501;
    failure.reason = "Send To Master";
    EXPECT_THROW(handle.gotResponse(failure), ClusterException);
    EXPECT_TRUE(evaluator->isEtagCheckNeeded());
}

TEST_F(ServerState, TwoFailuresInFlightCountOnce) {
    auto server = std::make_shared<ClusterServer>(url);
    PerformOpServer first(server), second(server);
    VxMetaException failure(VXMECAT_COMMUNICATION_ERROR, "down");
    EXPECT_THROW(first.gotResponse(failure), ClusterException);
    EXPECT_THROW(second.gotResponse(failure), ClusterException);
    EXPECT_EQ(server->getErrorCount(), 1);
}

TEST_F(ServerState, RegistryKeepsOneEntryPerServerBase) {
    ClusterServersPtr registry = getMyClusterServers();
    ClusterServerPtr a = registry->getServerForUrl(Url::newInstance("https://a.example/mds/api/v1.0/", "user/"));
    EXPECT_EQ(registry->getServerForUrl(url), a);
    EXPECT_EQ(registry->getPerformOpServerForUrl(url)->getServer(), a);
    a->setAccessToken("V2 t");
    a->setIsDown(60);

    auto replacement = std::make_shared<ClusterServer>(url);
    registry->addOrUpdateServer(replacement);
    EXPECT_EQ(registry->getServerForUrl(url), replacement);
    EXPECT_EQ(replacement->getAccessToken(), "V2 t"); // the token stays
    EXPECT_TRUE(replacement->isUp());                  // the down state does not

    registry->clearAccessTokens();
    EXPECT_EQ(replacement->getAccessToken(), "");
}

} // namespace
