// The list merges against an in-process service: whole refreshes prune what the service no longer
// returns (but never unsent changes), incremental ones only merge, fetched records merge into the
// held record of their id, else of their URN, and the request paths of the list classes.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sync_fixture.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/list_refresh.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::LogCapture;

namespace {

Json::Value identityForm(int64_t id, const std::string& urn, const std::string& name = "n") {
    Json::Value form;
    form["record"]["urn"] = urn;
    form["record"]["name"] = name;
    form["record"]["revision"] = 1;
    form["signature"] = "";
    form["id"] = Json::Int64(id);
    return form;
}

Json::Value array(std::initializer_list<Json::Value> elements) {
    Json::Value list(Json::arrayValue);
    for (const Json::Value& e : elements) list.append(e);
    return list;
}

class ListRefresh : public VxMetaTest::SyncTest {
protected:
    // Held identities, as stored copies (not dirty) unless told.
    std::shared_ptr<XPID> hold(int64_t id, const std::string& urn, const std::string& name = "n", bool dirty = false) {
        auto record = VxMetaTest::fromService<XPID>(identityForm(id, urn, name));
        record->remoteDirty = dirty;
        LockScope lock(masterMutex);
        myXPIDs->push_back(record);
        return record;
    }
    static std::vector<std::string> urns() {
        std::vector<std::string> found;
        for (const auto& r : *getMyXPIDs()) found.push_back(r->urn + "/" + std::to_string(r->id));
        return found;
    }
};

TEST_F(ListRefresh, AWholeRefreshWithNothingReadableKeepsOnlyUnsentChanges) {
    const struct {
        const char* what;
        FakeReply reply;
    } cases[] = {
        {"empty array", FakeReply(200, "[]")},
        {"404", FakeReply(404, "{\"Message\":\"none\"}")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        mdClear(myXPIDs);
        hold(1, "a");
        const auto dirty = hold(2, "b", "n", true);
        hold(3, "c");
        service->on("GET xpid", c.reply);
        refreshListThenRemoveUnmarked(getMyXPIDs());
        ASSERT_EQ(getMyXPIDs()->size(), 1u);
        EXPECT_EQ(getMyXPIDs()->at(0), dirty);
    }
}

TEST_F(ListRefresh, AWholeRefreshMergesInPlaceAppendsInReplyOrderAndPrunes) {
    const auto kept = hold(1, "a", "old");
    hold(2, "gone");
    const auto unsent = hold(3, "mine", "n", true);
    const auto byUrn = hold(0, "new-here");
    service->on("GET xpid", array({identityForm(7, "x"), identityForm(1, "a", "fresh"), identityForm(9, "new-here"),
                                   identityForm(8, "y")}));

    refreshListThenRemoveUnmarked(getMyXPIDs());

    EXPECT_EQ(urns(), (std::vector<std::string>{"a/1", "mine/3", "new-here/9", "x/7", "y/8"}));
    const auto& list = *getMyXPIDs();
    EXPECT_EQ(list[0], kept) << "the held object stays, with the service's content";
    EXPECT_EQ(kept->name, "fresh");
    EXPECT_TRUE(kept->marked);
    EXPECT_FALSE(kept->remoteDirty);
    EXPECT_TRUE(kept->localDirty);
    EXPECT_EQ(list[1], unsent);
    EXPECT_EQ(list[2], byUrn) << "no id match: merged by URN";
    EXPECT_TRUE(list[3]->marked);
    EXPECT_FALSE(list[3]->remoteDirty);
    EXPECT_EQ(service->requests(), std::vector<std::string>{"GET xpid"});
}

TEST_F(ListRefresh, TheIdMatchWinsOverTheUrnMatch) {
    const auto byId = hold(5, "first");
    const auto byUrn = hold(6, "second");
    service->on("GET xpid", array({identityForm(5, "second", "via id")}));
    refreshListThenRemoveUnmarked(getMyXPIDs());
    EXPECT_EQ(byId->name, "via id");
    EXPECT_EQ(byUrn->name, "n");
    EXPECT_EQ(*getMyXPIDs(), (RecordList<XPID>{byId})) << "the URN holder was not returned, so it is pruned";
}

TEST_F(ListRefresh, TheUrnMatchIsByTheUrnsHeldBeforeAnyMerge) {
    // The first fetched record moves the later held record onto the URN of the earlier one; the
    // second, an id not held, still matches the record that held that URN when the refresh began.
    const auto earlier = hold(2, "y");
    const auto later = hold(1, "x");
    service->on("GET xpid", array({identityForm(1, "y", "moved"), identityForm(7, "y", "by urn")}));
    refreshListThenRemoveUnmarked(getMyXPIDs());
    EXPECT_EQ(later->name, "moved");
    EXPECT_EQ(earlier->name, "by urn");
    EXPECT_EQ(urns(), (std::vector<std::string>{"y/7", "y/1"}));
}

TEST_F(ListRefresh, OfTwoHeldRecordsWithOneIdTheLaterMatchesAndTheEarlierIsPrunedUnlessUnsent) {
    for (bool earlierUnsent : {false, true}) {
        SCOPED_TRACE(earlierUnsent);
        mdClear(myXPIDs);
        const auto earlier = hold(4, "p", "n", earlierUnsent);
        const auto later = hold(4, "q");
        service->on("GET xpid", array({identityForm(4, "q", "merged")}));
        refreshListThenRemoveUnmarked(getMyXPIDs());
        EXPECT_EQ(later->name, "merged");
        EXPECT_EQ(earlier->name, "n");
        EXPECT_EQ(getMyXPIDs()->size(), earlierUnsent ? 2u : 1u);
    }
}

TEST_F(ListRefresh, OneNewRecordTwiceInAReplyIsAppendedTwiceAndOneObjectIsAOneRecordList) {
    service->on("GET xpid", array({identityForm(3, "d"), identityForm(3, "d")}));
    refreshListThenRemoveUnmarked(getMyXPIDs());
    EXPECT_EQ(urns(), (std::vector<std::string>{"d/3", "d/3"}));

    service->on("GET xpid", identityForm(3, "d", "single"));
    refreshListThenRemoveUnmarked(getMyXPIDs());
    EXPECT_EQ(urns(), (std::vector<std::string>{"d/3"})) << "the later duplicate took the merge";
    EXPECT_EQ(getMyXPIDs()->at(0)->name, "single");
}

TEST_F(ListRefresh, AnElementThatIsNotAnObjectFailsAndTheListStaysAsItWas) {
    for (bool incremental : {false, true}) {
        SCOPED_TRACE(incremental);
        mdClear(myXPIDs);
        hold(1, "a");
        Json::Value reply = array({identityForm(2, "b"), Json::Value("text")});
        service->on(incremental ? "GET xpid?since=t" : "GET xpid", reply);
        try {
            if (incremental)
                refreshListIncremental(getMyXPIDs(), "t");
            else
                refreshListThenRemoveUnmarked(getMyXPIDs());
            ADD_FAILURE() << "no failure";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_INTERNAL);
            EXPECT_EQ(e.message, "Value is not in correct object format");
        }
        EXPECT_EQ(urns(), std::vector<std::string>{"a/1"});
    }
}

TEST_F(ListRefresh, AFailedRequestPassesOnAndChangesNothing) {
    hold(1, "a");
    service->on("GET xpid", FakeReply(400, "{\"Message\":\"refused\"}"));
    EXPECT_THROW(refreshListThenRemoveUnmarked(getMyXPIDs()), VxMetaException);
    EXPECT_EQ(urns(), std::vector<std::string>{"a/1"});
}

TEST_F(ListRefresh, AnIncrementalRefreshMergesAndAppendsButRemovesNothingAndLeavesOtherMarks) {
    const auto untouched = hold(1, "a");
    const auto matched = hold(2, "b");
    untouched->marked = true;
    matched->marked = false;
    service->on("GET xpid?since=2024-01-31T12%3A00%3A00Z", array({identityForm(2, "b", "new"), identityForm(5, "e")}));

    refreshListIncremental(getMyXPIDs(), "2024-01-31T12:00:00Z");

    EXPECT_EQ(urns(), (std::vector<std::string>{"a/1", "b/2", "e/5"}));
    EXPECT_TRUE(untouched->marked);
    EXPECT_TRUE(matched->marked);
    EXPECT_EQ(matched->name, "new");
    EXPECT_FALSE(getMyXPIDs()->at(2)->marked) << "appended records are not marked by an incremental refresh";
}

TEST_F(ListRefresh, AnIncrementalRefreshWithoutSinceIsTheWholeRefresh) {
    hold(1, "a");
    service->on("GET xpid", array({identityForm(2, "b")}));
    refreshListIncremental(getMyXPIDs(), "");
    EXPECT_EQ(urns(), std::vector<std::string>{"b/2"});
    EXPECT_EQ(service->requests(), std::vector<std::string>{"GET xpid"});
}

TEST_F(ListRefresh, PerDeviceListsCarryTheDeviceQueryEvenWhenWhole) {
    getMyDevice()->id = 42;
    refreshListThenRemoveUnmarked(getMyApps());
    refreshListIncremental(getMyApps(), "s t");
    refreshListIncremental(getMyAppDatas(), "");
    refreshListIncremental(getMyAppDatas(), "s");
    EXPECT_EQ(service->requests(), (std::vector<std::string>{"GET app?deviceid=42", "GET app?deviceid=42&since=s+t",
                                                             "GET appdata?deviceid=42", "GET appdata?deviceid=42&since=s"}));
}

TEST_F(ListRefresh, AServerCopyOverUnsentChangesWinsAndIsLogged) {
    const auto unsent = hold(1, "a", "local edit", true);
    service->on("GET xpid?since=t", array({identityForm(1, "a", "server")}));
    LogCapture log(2);
    refreshListIncremental(getMyXPIDs(), "t");
    EXPECT_EQ(unsent->name, "server");
    EXPECT_FALSE(unsent->remoteDirty);
    EXPECT_TRUE(log.contains("The service's copy of xpid/1/ replaces changes not yet sent"));
}

TEST_F(ListRefresh, GivenJsonMergesWholeWithRemoval) {
    Json::Value datum;
    datum["kind"] = "Satellite Policy";
    datum["name"] = "p";
    datum["team_id"] = 3;
    datum["value"] = "{}";
    datum["id"] = 10;
    auto held = VxMetaTest::fromService<TeamData>(datum);
    Json::Value other = datum;
    other["name"] = "q";
    other["id"] = 11;
    {
        LockScope lock(masterMutex);
        myTeamDatas->push_back(held);
        myTeamDatas->push_back(VxMetaTest::fromService<TeamData>(other));
    }
    Json::Value changed = datum;
    changed["value"] = "{\"v\":1}";
    updateListThenRemoveUnmarked(getMyTeamDatas(), changed);
    ASSERT_EQ(getMyTeamDatas()->size(), 1u);
    EXPECT_EQ(getMyTeamDatas()->at(0), held);
    EXPECT_EQ(held->value, "{\"v\":1}");
    EXPECT_TRUE(service->requests().empty());

    EXPECT_THROW(updateListThenRemoveUnmarked(getMyTeamDatas(), Json::Value()), VxMetaException);
    EXPECT_EQ(getMyTeamDatas()->size(), 1u);
}

} // namespace
