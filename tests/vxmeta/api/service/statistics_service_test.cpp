// Usage statistics against the test key service: past days are sent by the synchronization (put off
// by a random delay in the hour after midnight), a refused send is retried later, a day sent is
// forgotten and its store pair removed by the next changes-only save, and the "xstat-" pairs carry the
// counters through the store.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports_fixture.h"
#include "vxmeta/api/extensible_stats.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/api/stat_state.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/sync/persisted_store.h"

using namespace VxMeta;

namespace {

class StatisticsOnTheService : public VxMeta::testing::ReportsTest {
protected:
    void SetUp() override {
        ReportsTest::SetUp();
        if (service.servers.empty()) VX_SKIP_OR_FAIL_IN_CI("the test key service is not running");
        LockScope lock(statState.lock);
        statState.days.clear();
        statState.savedDays.clear();
    }
    void TearDown() override {
        {
            LockScope lock(statState.lock);
            statState.days.clear();
            statState.savedDays.clear();
        }
        ReportsTest::TearDown();
    }

    // Yesterday's counters, recorded at noon of yesterday.
    void recordYesterday() {
        setClockSeconds(todayMidnight - kDay + 12 * 3600);
        api.incrementStat("open", "zip", 3);
        api.incrementStat("open", "zip", 1);
        api.setStat("open", "7z", 9);
        api.setStat("size", "", 5);
        api.setStat("size", "", 7);
        yesterday = todayYMD();
    }
    static int64_t nextSendTime() {
        LockScope lock(masterMutex);
        return myPersists->extStatsNextSendTime;
    }
    static std::vector<std::string> recordedDays() {
        LockScope lock(statState.lock);
        std::vector<std::string> days;
        for (const auto& [date, day] : statState.days) days.push_back(date);
        return days;
    }
    static const Serial* pairNamed(const SerialList& list, const std::string& name) {
        for (const auto& pair : list)
            if (pair->name == name) return pair.get();
        return nullptr;
    }

    RawVorlane api;
    std::string yesterday;
};

TEST_F(StatisticsOnTheService, YesterdayAtHalfPastMidnightIsScheduledThenSentWithoutToday) {
    recordYesterday();
    setClockSeconds(todayMidnight + 30 * 60);
    api.incrementStat("open", "zip", 1);
    const std::string today = todayYMD();

    sync(false);
    EXPECT_TRUE(received("extensiblestats").empty()) << "nothing is sent in the hour after midnight";
    const int64_t scheduled = nextSendTime();
    EXPECT_GE(scheduled, nowSeconds() + 60);
    EXPECT_LE(scheduled, nowSeconds() + 3600);

    setClockSeconds(scheduled);
    sync(false);
    EXPECT_TRUE(received("extensiblestats").empty()) << "not before the scheduled time has passed";

    setClockSeconds(scheduled + 1);
    sync(false);
    const std::vector<std::string> texts = receivedTexts("extensiblestats");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].back(), '\n');
    const Json::Value sent = parseJson(texts[0]);
    EXPECT_EQ(sent["device_id"].asInt64(), getMyDevice()->id);
    EXPECT_EQ(sent["app_name"], "Reader");
    EXPECT_EQ(sent["app_version"], "1.0");
    EXPECT_EQ(sent["collection_date"], yesterday);
    EXPECT_EQ(sent["details"], parseJson(R"([{"kind":"open","qualifier":"7z","value":9},
                                             {"kind":"open","qualifier":"zip","value":4},
                                             {"kind":"size","value":7}])"));
    EXPECT_EQ(nextSendTime(), 0) << "every eligible day went";
    EXPECT_EQ(recordedDays(), std::vector<std::string>{today});
}

TEST_F(StatisticsOnTheService, OnlyTodayRecordedSendsAndSchedulesNothing) {
    setClockSeconds(todayMidnight + 30 * 60);
    api.incrementStat("open", "zip", 1);
    sync(false);
    setClockSeconds(todayMidnight + 9 * 3600);
    sync(false);
    EXPECT_TRUE(received("extensiblestats").empty());
    EXPECT_EQ(nextSendTime(), 0);
}

TEST_F(StatisticsOnTheService, AtNineYesterdayIsSentAtOnceAndTheNextChangesOnlySaveRemovesItsPair) {
    recordYesterday();
    const std::string name = "xstat-" + yesterday;
    SerialListPtr saved = serializeAll(true);
    ASSERT_NE(pairNamed(*saved, name), nullptr);

    setClockSeconds(todayMidnight + 9 * 3600);
    sync(false);
    ASSERT_EQ(received("extensiblestats").size(), 1u);
    EXPECT_TRUE(recordedDays().empty());

    saved = serializeAll(true);
    const Serial* removal = pairNamed(*saved, name);
    ASSERT_NE(removal, nullptr) << "the host is told to delete the pair";
    EXPECT_EQ(removal->value, "");
    saved = serializeAll(true);
    EXPECT_EQ(pairNamed(*saved, name), nullptr) << "once";
}

TEST_F(StatisticsOnTheService, ARefusedSendKeepsTheDayAndIsRetriedAfterARandomDelay) {
    recordYesterday();
    setClockSeconds(todayMidnight + 9 * 3600);
    refuse("extensiblestats", 400);
    sync(false);
    EXPECT_TRUE(received("extensiblestats").empty());
    EXPECT_EQ(recordedDays(), std::vector<std::string>{yesterday});
    const int64_t retry = nextSendTime();
    EXPECT_GE(retry, nowSeconds() + 60);
    EXPECT_LE(retry, nowSeconds() + 3600);

    setClockSeconds(retry - 1);
    sync(false);
    EXPECT_TRUE(received("extensiblestats").empty()) << "no send before the retry time";

    setClockSeconds(retry + 1);
    sync(false);
    ASSERT_EQ(received("extensiblestats").size(), 1u);
    EXPECT_EQ(received("extensiblestats")[0]["collection_date"], yesterday);
    EXPECT_TRUE(recordedDays().empty());
    EXPECT_EQ(nextSendTime(), 0);
}

TEST_F(StatisticsOnTheService, StorePairsCarryTheCountersAndARestoreMergesThem) {
    recordYesterday();
    const SerialListPtr saved = serializeAll(false);
    const Serial* pair = pairNamed(*saved, "xstat-" + yesterday);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->value, "[{\"kind\":\"open\",\"qualifier\":\"7z\",\"value\":9},"
                           "{\"kind\":\"open\",\"qualifier\":\"zip\",\"value\":4},"
                           "{\"kind\":\"size\",\"value\":7}]\n");

    {
        LockScope lock(statState.lock);
        statState.days.clear();
        statState.days[yesterday].counters["open"]["rar"] = 2;
    }
    restoreAll(*saved);
    LockScope lock(statState.lock);
    const Day& day = statState.days[yesterday];
    EXPECT_EQ(day.counters.at("open").at("zip"), 4);
    EXPECT_EQ(day.counters.at("open").at("rar"), 2) << "counters the pair does not name stay";
    EXPECT_EQ(day.counters.at("size").at(""), 7) << "an absent qualifier reads as the empty one";
}

TEST_F(StatisticsOnTheService, NoSendWithoutARegisteredDeviceOrAUser) {
    recordYesterday();
    setClockSeconds(todayMidnight + 9 * 3600);
    int64_t deviceId = 0;
    {
        LockScope lock(masterMutex);
        deviceId = myDevice->id;
        myDevice->id = 0;
    }
    checkSendExtensibleStats();
    {
        LockScope lock(masterMutex);
        myDevice->id = deviceId;
    }
    logout();
    checkSendExtensibleStats();
    EXPECT_TRUE(received("extensiblestats").empty());
    EXPECT_EQ(recordedDays(), std::vector<std::string>{yesterday}) << "logging out keeps the days";
}

} // namespace
