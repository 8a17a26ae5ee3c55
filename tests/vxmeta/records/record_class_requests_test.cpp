// The requests particular to the new record classes, answered by the in-process transport: the
// list paths of the per-device records, the application-record switch, the refresh of deployments
// and directory records, and deleting a record, which prunes the dataset lists.
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_transport.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;

namespace {

class RecordClassRequests : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        {
            LockScope lock(masterMutex);
            globalState.clear();
        }
        answerAll(FakeReply(200, "{}"));
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        syncProblems.clear();
    }

    static bool housekeeping(const CommIO& io) {
        return io.url.find("/api/v1.0/etag/0") != std::string::npos ||
               io.url.find("/api/v1.0/clusterInfo") != std::string::npos;
    }
    static void answerAll(FakeReply reply) {
        FakeTransport::install([reply](const CommIO& io) { return housekeeping(io) ? FakeReply(200, "{}") : reply; });
    }
    static std::vector<std::string> requests() {
        std::vector<std::string> lines;
        for (const CommIO& io : FakeTransport::exchanges()) {
            if (housekeeping(io)) continue;
            lines.push_back(io.method + " " + io.url.substr(io.url.find("/api/v1.0/") + 10));
        }
        return lines;
    }
    static size_t problemCount() {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        return syncProblems.size();
    }
    static int32_t expectedEtag() { return getMyUser()->expectedEtag; }
};

TEST_F(RecordClassRequests, ListPathsOfThePerDeviceRecords) {
    getMyDevice()->id = 42;
    const struct {
        const char* since;
        std::string app;
        std::string appData;
        std::string upload;
    } cases[] = {
        {"", "app?deviceid=42", "appdata?deviceid=42", "upload"},
        {"2024-05-01 10:00:00", "app?deviceid=42&since=2024-05-01+10%3A00%3A00",
         "appdata?deviceid=42&since=2024-05-01+10%3A00%3A00", "upload?since=2024-05-01+10%3A00%3A00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(App().refreshSuffix(c.since), c.app) << c.since;
        EXPECT_EQ(AppData().refreshSuffix(c.since), c.appData) << c.since;
        EXPECT_EQ(Upload().refreshSuffix(c.since), c.upload) << c.since;
    }
}

TEST_F(RecordClassRequests, A404TurnsTheApplicationRecordsOff) {
    App app;
    app.name = "Reader";
    app.id = 5;
    answerAll(FakeReply(200, R"({"id":5,"record":{"name":"Reader"}})"));
    EXPECT_TRUE(app.trySync());
    EXPECT_EQ(requests(), std::vector<std::string>{"PUT app/5/"});

    app.changed();
    answerAll(FakeReply(404, R"({"Message":"no application records here"})"));
    EXPECT_FALSE(app.trySync());
    EXPECT_EQ(problemCount(), 1u);
    {
        LockScope lock(masterMutex);
        EXPECT_FALSE(globalState.appListSupported);
    }
    // While off, nothing is sent; a reset of the state turns it on again.
    answerAll(FakeReply(200, R"({"id":5,"record":{"name":"Reader"}})"));
    EXPECT_FALSE(app.trySync());
    EXPECT_TRUE(requests().empty());
    {
        LockScope lock(masterMutex);
        globalState.clear();
    }
    EXPECT_TRUE(app.trySync());
    EXPECT_EQ(requests(), std::vector<std::string>{"PUT app/5/"});

    // Other refusals are handled as every record's: a conflict re-reads, nothing turns off.
    app.changed();
    int calls = 0;
    FakeTransport::install([&calls](const CommIO& io) {
        if (housekeeping(io)) return FakeReply(200, "{}");
        return ++calls == 1 ? FakeReply(409, R"({"Message":"old","reason":"Revision"})")
                            : FakeReply(200, R"({"id":5,"record":{"name":"Newer","revision":9}})");
    });
    EXPECT_FALSE(app.trySync());
    EXPECT_EQ(requests(), (std::vector<std::string>{"PUT app/5/", "GET app/5/"}));
    EXPECT_EQ(app.name, "Newer");
    {
        LockScope lock(masterMutex);
        EXPECT_TRUE(globalState.appListSupported);
    }
}

TEST_F(RecordClassRequests, DeploymentsAndDirectoryRecordsRefresh) {
    Deployment deployment;
    deployment.id = 4;
    deployment.name = "old";
    deployment.localDirty = false;
    answerAll(FakeReply(200, R"({"id":4,"name":"new","version":"2.0","signature":"V2-s"})"));
    deployment.refresh();
    EXPECT_EQ(requests(), std::vector<std::string>{"GET deployment/4/"});
    EXPECT_EQ(deployment.name, "new");
    EXPECT_EQ(deployment.signature, "V2-s");
    EXPECT_TRUE(deployment.localDirty);

    XPID identity;
    identity.id = 6;
    identity.originator = true;
    answerAll(FakeReply(200, R"({"id":6,"kind":2,"record":{"urn":"urn:x","name":"X"}})"));
    identity.refresh();
    EXPECT_EQ(requests(), std::vector<std::string>{"GET xpid/6/"});
    EXPECT_EQ(identity.name, "X");
    EXPECT_TRUE(identity.originator);

    answerAll(FakeReply(403, R"({"Message":"refused"})"));
    EXPECT_THROW(deployment.refresh(), VxMetaException);
    EXPECT_EQ(deployment.name, "new");
}

// A dataset of two assets (ids 1 and 2), each with requests, rights, keys and features.
class Deletion : public RecordClassRequests {
protected:
    void SetUp() override {
        RecordClassRequests::SetUp();
        LockScope lock(masterMutex);
        for (int64_t asset : {1, 2}) {
            myAssets->push_back(made<Asset>(asset, asset));
            myRequests->push_back(made<AssetRequest>(10 + asset, asset));
            for (int i = 0; i < 2; ++i) myRights->push_back(made<AssetRight>(20 + 2 * asset + i, asset));
            for (int i = 0; i < 3; ++i) myKeys->push_back(made<AssetKey>(30 + 3 * asset + i, asset));
            myFeatures->push_back(made<AssetFeature>(40 + asset, asset));
        }
    }

    template <class T>
    static std::shared_ptr<T> made(int64_t id, int64_t assetId) {
        auto record = std::make_shared<T>();
        record->id = id;
        if constexpr (!std::is_same_v<T, Asset>) record->assetid = assetId;
        record->localDirty = false;
        record->remoteDirty = false;
        return record;
    }

    template <class T>
    static std::vector<int64_t> ids(const RecordListPtr<T>& list) {
        std::vector<int64_t> found;
        for (const auto& record : *list) found.push_back(record->id);
        return found;
    }
};

TEST_F(Deletion, AnAssetTakesWhatDependsOnItAlong) {
    // A right of the deleted asset whose change is not yet sent stays.
    getMyRights()->at(1)->remoteDirty = true;
    Asset deleted;
    deleted.id = 1; // a copy of the held record, as callers delete
    deleted.remoteDirty = true;
    EXPECT_TRUE(deleted.del());
    EXPECT_EQ(requests(), std::vector<std::string>{"DELETE asset/1/"});
    EXPECT_FALSE(deleted.localDirty || deleted.remoteDirty);
    EXPECT_EQ(expectedEtag(), 1);
    EXPECT_EQ(ids(getMyAssets()), std::vector<int64_t>{2});
    EXPECT_EQ(ids(getMyRequests()), std::vector<int64_t>{12});
    EXPECT_EQ(ids(getMyRights()), (std::vector<int64_t>{23, 24, 25}));
    EXPECT_EQ(ids(getMyKeys()), (std::vector<int64_t>{36, 37, 38}));
    EXPECT_EQ(ids(getMyFeatures()), std::vector<int64_t>{42});
}

TEST_F(Deletion, AnItemLeavesItsOwnList) {
    auto pair = std::make_shared<MFAPair>();
    pair->id = 7;
    auto datum = std::make_shared<AppData>();
    datum->id = 8;
    auto sameIdFeature = made<AssetFeature>(41, 9);
    {
        LockScope lock(masterMutex);
        myMFAPairs->push_back(pair);
        myMFAPairs->push_back(pair); // the same object twice: it leaves every place
        myAppDatas->push_back(datum);
        myFeatures->push_back(sameIdFeature); // another feature of the same id stays
    }
    EXPECT_TRUE(MFAPair(*pair).del());
    EXPECT_TRUE(getMyMFAPairs()->empty());
    EXPECT_TRUE(AppData(*datum).del());
    EXPECT_TRUE(getMyAppDatas()->empty());
    AssetFeature feature;
    feature.id = 41;
    EXPECT_TRUE(feature.del());
    ASSERT_EQ(ids(getMyFeatures()), (std::vector<int64_t>{42, 41}));
    EXPECT_EQ(getMyFeatures()->back(), sameIdFeature);
    EXPECT_EQ(requests(),
              (std::vector<std::string>{"DELETE mfapair/7/", "DELETE appdata/8/", "DELETE assetfeature/41/"}));
    EXPECT_EQ(expectedEtag(), 3);

    // Other classes leave the lists alone; the SID's deletion is not counted.
    TeamData teamDatum;
    teamDatum.id = 3;
    EXPECT_TRUE(teamDatum.del());
    EXPECT_EQ(expectedEtag(), 4);
    SID sid;
    sid.id = "V2-loc";
    EXPECT_TRUE(sid.del());
    EXPECT_EQ(expectedEtag(), 4);
    EXPECT_EQ(getMyAssets()->size(), 2u);
}

TEST_F(Deletion, ARecordWithoutAnIdIsNotDeleted) {
    const struct {
        const char* name;
        std::shared_ptr<VxMetadata> record;
        const char* message;
    } cases[] = {
        {"asset", std::make_shared<Asset>(), "Unable to delete asset record - it has no id"},
        {"pair", std::make_shared<MFAPair>(), "Unable to delete mfapair record - it has no id"},
        {"sid", std::make_shared<SID>(), "Unable to delete sid record - it has no id"},
    };
    for (const auto& c : cases) {
        try {
            c.record->del();
            ADD_FAILURE() << c.name;
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_INTERNAL) << c.name;
            EXPECT_EQ(e.message, c.message) << c.name;
        }
        EXPECT_TRUE(c.record->localDirty && c.record->remoteDirty) << c.name;
    }
    EXPECT_TRUE(requests().empty()); // no DELETE of a whole collection
    EXPECT_EQ(expectedEtag(), 0);
    EXPECT_EQ(getMyAssets()->size(), 2u);
}

TEST_F(Deletion, AFailedDeleteChangesNothing) {
    answerAll(FakeReply(403, R"({"Message":"not yours","reason":"No Right"})"));
    Asset deleted;
    deleted.id = 1;
    EXPECT_THROW(deleted.del(), VxMetaException);
    EXPECT_TRUE(deleted.localDirty && deleted.remoteDirty);
    EXPECT_EQ(expectedEtag(), 0);
    EXPECT_EQ(getMyAssets()->size(), 2u);
    EXPECT_EQ(getMyKeys()->size(), 6u);
    EXPECT_EQ(getMyRights()->size(), 4u);
}

} // namespace
