// The rules of the synchronization cycle that need no service of their own: the etag comparison, the
// bounded re-reads of the etag while the cluster refresh fails, an identity the service does not know,
// and the unchanged branch's etag bookkeeping.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/access_fixture.h"
#include "sync_fixture.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/records/etag.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/sync_cycle.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::LogCapture;

namespace {

TEST(ShouldSync, ForeignChangesOnlyAboveTheExpectedEtagOrAfterAReset) {
    const struct {
        long server;
        long expected;
        bool changed;
    } cases[] = {
        {5, 4, true}, {-1, 7, true}, {-1, 0, false}, {4, 4, false}, {3, 4, false}, {0, 0, false}, {-2, -1, false},
    };
    for (const auto& c : cases) EXPECT_EQ(shouldSync(c.server, c.expected), c.changed) << c.server << " " << c.expected;
}

class CycleRules : public VxMetaTest::SyncTest {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        LockScope lock(masterMutex);
        globalState.myPrikey = VxMetaTest::userKeys().privateKey;
        myPID->urn = "urn:me";
        myPID->pubkey = VxMetaTest::userKeys().publicKey;
    }
    static size_t count(const std::vector<std::string>& requests, const std::string& request) {
        return static_cast<size_t>(std::count(requests.begin(), requests.end(), request));
    }
};

TEST_F(CycleRules, TheEtagIsReadAgainABoundedNumberOfTimesWhileTheClusterRefreshFails) {
    {
        LockScope lock(masterMutex);
        myPID->id = 5;
    }
    const std::string base = getMyClusterEvaluator()->getPrefix()->baseUrl;
    Json::Value document;
    document["ctag"] = "other";
    document["members"][0]["url"] = base;
    document["members"][0]["isMaster"] = true;
    document["members"][0]["isOnline"] = true;
    document["members"][0]["dataCenter"] = "dc1";
    // The etag keeps naming a cluster tag that the cluster document never has; the refresh the cycle
    // asks for fails, the one the pipeline makes before each etag read succeeds: without a bound the
    // cycle would read the etag for ever.
    service->on("GET etag/5/", FakeReply(200, "{\"etag\":1,\"ctag\":\"moved\"}"));
    service->on("GET etag/0", FakeReply(200, "{\"etag\":0,\"ctag\":\"moved\"}"));
    service->on("GET clusterInfo", FakeReply(400, "{\"Message\":\"not now\"}"));
    int clusterReads = 0;
    service->onRequest = [&](const std::string& request) {
        if (request != "GET clusterInfo") return;
        ++clusterReads;
        service->on("GET clusterInfo", clusterReads % 2 == 0 ? FakeReply(400, "{\"Message\":\"not now\"}")
                                                             : FakeReply(200, jsonString(document)));
    };
    const size_t limit = getMyClusterEvaluator()->getClusterServerUrls().size() + 2;
    for (int cycle = 0; cycle < 2; ++cycle) {
        Etag etag;
        try {
            fetchEtagAndUpdateClusterInfo(etag);
            ADD_FAILURE() << "no failure";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_COMMUNICATION_ERROR);
            EXPECT_EQ(e.message, "not now");
        }
        EXPECT_EQ(count(service->requests(), "GET etag/5/"), limit) << "each call starts again";
        service->clearLog();
    }

    service->onRequest = nullptr;
    document["ctag"] = "moved";
    service->on("GET clusterInfo", FakeReply(200, jsonString(document)));
    Etag etag;
    EXPECT_TRUE(fetchEtagAndUpdateClusterInfo(etag));
    EXPECT_EQ(etag.etag, 1);
}

TEST_F(CycleRules, AnIdentityTheServiceDoesNotKnowIsOnlyPushed) {
    {
        LockScope lock(masterMutex);
        myPID->remoteDirty = true;
    }
    service->on("POST pid/", FakeReply(200, "{\"record\":{\"urn\":\"urn:me\"},\"id\":0}"));
    sync(false);
    EXPECT_EQ(service->requests(), std::vector<std::string>{"POST pid/"});
}

TEST_F(CycleRules, AnExpectedEtagTakesTheUnchangedBranchAndNotesTheNewEtag) {
    {
        LockScope lock(masterMutex);
        myPID->id = 5;
        myUser->etag = 3;
        myUser->expectedEtag = 4;
        myUser->localDirty = false;
        myPersists->siteData = "{}";
        myPersists->gtag = 2;
    }
    service->on("GET etag/5/", FakeReply(200, "{\"etag\":4,\"gtag\":2,\"ctag\":\"\"}"));
    LogCapture log(4);
    sync(false);
    EXPECT_TRUE(log.contains("etag updated from 3 to 4 (was an expected change)"));
    EXPECT_EQ(getMyUser()->etag, 4);
    EXPECT_TRUE(getMyUser()->localDirty);
    EXPECT_EQ(service->requests(), std::vector<std::string>{"GET etag/5/"});
}

} // namespace
