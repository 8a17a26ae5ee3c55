// The data-memo pass against an in-process service: the paths of its pages, when paging stops, the
// cascades of a deleted identity or key, what unsent changes keep, the garbage collection of
// identities, and that its marks are its own while another pass clears the shared ones.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sync_fixture.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/data_memo_processor.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::LogCapture;

namespace {

Json::Value memo(int64_t id, const std::string& entityKind, int64_t entityId, const std::string& kind = "delete") {
    Json::Value m;
    m["id"] = Json::Int64(id);
    m["memo_kind"] = kind;
    m["entity_kind"] = entityKind;
    m["entity_id"] = Json::Int64(entityId);
    return m;
}

Json::Value list(std::initializer_list<Json::Value> elements) {
    Json::Value page(Json::arrayValue);
    for (const Json::Value& e : elements) page.append(e);
    return page;
}

Json::Value memos(int64_t firstId, int count, const std::string& entityKind = "asset") {
    Json::Value page(Json::arrayValue);
    for (int i = 0; i < count; ++i) page.append(memo(firstId + i, entityKind, 100000 + i));
    return page;
}

template <class T>
std::shared_ptr<T> held(RecordListPtr<T> list, int64_t id, int64_t ownerOrParticipant = 0, int64_t assetId = 0) {
    auto record = std::make_shared<T>();
    record->id = id;
    record->remoteDirty = false;
    if constexpr (requires { record->participantid; }) record->participantid = ownerOrParticipant;
    if constexpr (requires { record->assetid; }) record->assetid = assetId;
    if constexpr (std::is_same_v<T, Asset>) record->ownerid = ownerOrParticipant;
    LockScope lock(masterMutex);
    list->push_back(record);
    return record;
}

template <class T>
bool holds(const RecordListPtr<T>& list, const std::shared_ptr<T>& record) {
    LockScope lock(masterMutex);
    return std::find(list->begin(), list->end(), record) != list->end();
}

class DataMemos : public VxMetaTest::SyncTest {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        LockScope lock(masterMutex);
        myUser->last_sweep = "2024-01-31T12:00:00Z";
        myPID->id = 1;
    }
    static std::string page(int64_t start, int64_t size = 400) {
        return "GET datamemo?max=" + std::to_string(size) + "&start=" + std::to_string(start) +
               "&since=2024-01-31T12%3A00%3A00Z";
    }
};

TEST_F(DataMemos, PagingAsksUntilAShortPage) {
    const struct {
        const char* what;
        int firstPage;
        std::vector<std::string> expected;
    } cases[] = {
        {"no memo", 0, {page(1)}},
        {"399 memos", 399, {page(1)}},
        {"a full page", 400, {page(1), page(401)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service->clearLog();
        service->on(page(1), memos(1, c.firstPage));
        service->on(page(401), Json::Value(Json::arrayValue));
        DataMemoProcessor pass;
        pass.go();
        EXPECT_EQ(service->requests(), c.expected);
    }
}

TEST_F(DataMemos, AFullPageWithoutANewerIdStopsThePaging) {
    {
        LockScope lock(masterMutex);
        myUser->fetch_max = 2;
    }
    service->on(page(1, 2), list({memo(5, "asset", 1), memo(6, "asset", 2)}));
    // A service that answers every later page with the same old memos.
    service->on(page(7, 2), list({memo(5, "asset", 1), memo(6, "asset", 2)}));
    DataMemoProcessor pass;
    pass.go();
    EXPECT_EQ(service->requests(), (std::vector<std::string>{page(1, 2), page(7, 2)}));
}

TEST_F(DataMemos, ThePassTimeIsKeptIn64Bits) {
    auto clock = std::make_shared<ManualClock>(int64_t{5'000'000'000} * 1000);
    setClock(clock);
    DataMemoProcessor pass;
    pass.go();
    setClock(nullptr);
    EXPECT_EQ(globalState.lastMemoTime, int64_t{5'000'000'000});
}

TEST_F(DataMemos, ADeletedIdentityTakesItsKeysAndWhatNamesItAlongExceptUnsentChanges) {
    const auto gone = held(getMyXPIDs(), 7);
    const auto other = held(getMyXPIDs(), 8);
    const auto ownedKey = held(getMyAssets(), 20, 7);
    const auto otherKey = held(getMyAssets(), 21, 8);
    const auto featureOfOwned = held(getMyFeatures(), 30, 0, 20);
    const auto requestOfOwned = held(getMyRequests(), 40, 8, 20);
    const auto requestByGone = held(getMyRequests(), 41, 7, 21);
    const auto rightOfOwned = held(getMyRights(), 50, 8, 20);
    const auto rightOfGone = held(getMyRights(), 51, 7, 21);
    const auto unsentRight = held(getMyRights(), 52, 7, 21);
    unsentRight->remoteDirty = true;
    const auto keyOfOwned = held(getMyKeys(), 60, 8, 20);
    const auto keyOfGone = held(getMyKeys(), 61, 7, 21);
    const auto keptKey = held(getMyKeys(), 62, 8, 21);
    const auto appDatum = held(getMyAppDatas(), 70);
    const auto otherDatum = held(getMyAppDatas(), 71);
    service->on(page(1), list({memo(1, "identity", 7), memo(2, "appdata", 70), memo(3, "asset", 999, "update"),
                               memo(4, "unknown", 8)}));

    LogCapture log(4);
    DataMemoProcessor pass;
    pass.go();

    EXPECT_FALSE(holds(getMyXPIDs(), gone));
    EXPECT_TRUE(holds(getMyXPIDs(), other));
    EXPECT_FALSE(holds(getMyAssets(), ownedKey));
    EXPECT_TRUE(holds(getMyAssets(), otherKey));
    EXPECT_FALSE(holds(getMyFeatures(), featureOfOwned));
    EXPECT_FALSE(holds(getMyRequests(), requestOfOwned));
    EXPECT_FALSE(holds(getMyRequests(), requestByGone));
    EXPECT_FALSE(holds(getMyRights(), rightOfOwned));
    EXPECT_FALSE(holds(getMyRights(), rightOfGone));
    EXPECT_TRUE(holds(getMyRights(), unsentRight));
    EXPECT_FALSE(holds(getMyKeys(), keyOfOwned));
    EXPECT_FALSE(holds(getMyKeys(), keyOfGone));
    EXPECT_TRUE(holds(getMyKeys(), keptKey));
    EXPECT_FALSE(holds(getMyAppDatas(), appDatum));
    EXPECT_TRUE(holds(getMyAppDatas(), otherDatum));
    EXPECT_TRUE(log.contains("metaclient: got Data Memo update asset/999"));
}

TEST_F(DataMemos, ARightDeletedAloneAndA404RemoveOnlyWhatTheyName) {
    const auto right = held(getMyRights(), 50, 8, 20);
    const auto otherRight = held(getMyRights(), 51, 8, 20);
    const auto key = held(getMyAssets(), 20, 8);
    service->on(page(1), list({memo(1, "assetright", 50)}));
    DataMemoProcessor pass;
    pass.go();
    EXPECT_FALSE(holds(getMyRights(), right));
    EXPECT_TRUE(holds(getMyRights(), otherRight));
    EXPECT_TRUE(holds(getMyAssets(), key));

    service->on(page(1), FakeReply(404, "{\"Message\":\"none\"}"));
    DataMemoProcessor second;
    second.go();
    EXPECT_TRUE(holds(getMyRights(), otherRight));
}

TEST_F(DataMemos, MarksOfThePassAreItsOwnWhileAnotherPassClearsTheShared) {
    {
        LockScope lock(masterMutex);
        myUser->fetch_max = 1;
    }
    const auto identity = held(getMyXPIDs(), 7);
    const auto key = held(getMyAssets(), 20, 7);
    const auto datum = held(getMyAppDatas(), 70);
    service->on(page(1, 1), list({memo(1, "appdata", 70)}));
    service->on(page(2, 1), Json::Value(Json::arrayValue));
    // Between the pages (the pass holds no lock) another thread's pass clears every shared mark.
    service->onRequest = [](const std::string& request) {
        if (request.find("start=2") == std::string::npos) return;
        LockScope lock(masterMutex);
        for (const auto& r : *myXPIDs) r->marked = false;
        for (const auto& r : *myAssets) r->marked = false;
    };
    DataMemoProcessor pass;
    pass.go();
    EXPECT_TRUE(holds(getMyXPIDs(), identity));
    EXPECT_TRUE(holds(getMyAssets(), key)) << "the owner was not deleted";
    EXPECT_FALSE(holds(getMyAppDatas(), datum));
}

TEST_F(DataMemos, GarbageCollectionKeepsOnlyIdentitiesThatSomethingNames) {
    for (bool inTeam : {false, true}) {
        SCOPED_TRACE(inTeam);
        mdClear(myXPIDs);
        mdClear(myAssets);
        mdClear(myRights);
        {
            LockScope lock(masterMutex);
            globalState.teamId = inTeam ? 5 : 0;
            globalState.teamGroupUrn = inTeam ? "urn:team" : "";
        }
        const auto own = held(getMyXPIDs(), 1);
        const auto owner = held(getMyXPIDs(), 2);
        const auto grantedByMe = held(getMyXPIDs(), 3);
        const auto allowedElsewhere = held(getMyXPIDs(), 4);
        const auto deniedElsewhere = held(getMyXPIDs(), 5);
        const auto teamMate = held(getMyXPIDs(), 6);
        teamMate->owning_team_id = 5;
        const auto unsent = held(getMyXPIDs(), 7);
        unsent->remoteDirty = true;
        held(getMyAssets(), 20, 2);
        auto mine = held(getMyRights(), 50, 3);
        mine->ownerid = 1;
        mine->access = "deny";
        auto allow = held(getMyRights(), 51, 4);
        allow->ownerid = 9;
        allow->access = "allow";
        auto deny = held(getMyRights(), 52, 5);
        deny->ownerid = 9;
        deny->access = "deny";

        DataMemoProcessor pass;
        pass.garbageCollect();
        EXPECT_TRUE(holds(getMyXPIDs(), own));
        EXPECT_TRUE(holds(getMyXPIDs(), owner));
        EXPECT_TRUE(holds(getMyXPIDs(), grantedByMe));
        EXPECT_TRUE(holds(getMyXPIDs(), allowedElsewhere));
        EXPECT_FALSE(holds(getMyXPIDs(), deniedElsewhere));
        EXPECT_EQ(holds(getMyXPIDs(), teamMate), inTeam);
        EXPECT_TRUE(holds(getMyXPIDs(), unsent));
    }
}

} // namespace
