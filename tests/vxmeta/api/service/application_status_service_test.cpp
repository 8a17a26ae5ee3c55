// Application-status reports against the test key service: a report carries only what changed, a
// report without entries goes when the user's etag moved, a refused report makes the next one full, a
// 404 switches the reports off until the state is made again, and logout empties the registry.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports_fixture.h"
#include "vxmeta/access/library_reset.h"
#include "vxmeta/api/application_record.h"
#include "vxmeta/api/application_status.h"
#include "vxmeta/api/application_status_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_exception.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

std::set<std::string> memberNames(const Json::Value& value) {
    const std::vector<std::string> names = value.getMemberNames();
    return {names.begin(), names.end()};
}

class StatusReportsOnTheService : public VxMeta::testing::ReportsTest {
protected:
    void SetUp() override {
        ReportsTest::SetUp();
        if (service.servers.empty()) VX_SKIP_OR_FAIL_IN_CI("the test key service is not running");
        getMyApplicationStatusManager()->clear();
        registerApp();
        ASSERT_GT(getMyApp()->id, 0);
        seen = received("appStatus").size();
    }
    void TearDown() override {
        if (!service.servers.empty()) getMyApplicationStatusManager()->clear();
        ReportsTest::TearDown();
    }

    // The reports received since the last call.
    std::vector<Json::Value> newReports() {
        std::vector<Json::Value> all = received("appStatus");
        std::vector<Json::Value> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
        seen = all.size();
        return fresh;
    }
    // A change elsewhere: the user's etag moves.
    void changeElsewhere() {
        Json::Value spec;
        spec["form"]["record"]["owner"] = getMyPID()->urn;
        spec["form"]["record"]["name"] = "elsewhere";
        spec["form"]["record"]["urn"] = "urn:asset/elsewhere-" + std::to_string(++changes);
        spec["form"]["record"]["object_kind"] = "file";
        spec["form"]["ownerid"] = Json::Int64(accountId);
        spec["signer"] = Json::Int64(accountId);
        service.call("POST", "/sync/records/asset", jsonString(spec));
    }

    RawVorlane api;
    size_t seen = 0;
    int changes = 0;
};

TEST_F(StatusReportsOnTheService, ReportsCarryOnlyChangesAndAnEmptyReportFollowsTheEtag) {
    const auto status = api.registerApplicationStatus("antivirus", "2.1", "urn:policy/av");
    EXPECT_EQ(api.registerApplicationStatus("antivirus", "9.9", "urn:policy/av"), status) << "the first one stays";
    EXPECT_EQ(status->version, "2.1");
    api.registerApplicationStatus("firewall", "1.0", "urn:policy/fw"); // never updated: never reported

    status->update(ApplicationCompliance("daily", true, 3, "ok", "all clear"), std::string("{\"scanned\":12}"));
    sync(false);
    std::vector<Json::Value> reports = newReports();
    ASSERT_EQ(reports.size(), 1u);
    const Json::Value& report = reports[0];
    EXPECT_EQ(report["deviceid"].asInt64(), getMyDevice()->id);
    EXPECT_EQ(report["appid"].asInt64(), getMyApp()->id);
    EXPECT_EQ(report["etag"].asInt(), getMyUser()->etag);
    ASSERT_EQ(report["entries"].size(), 1u);
    Json::Value entry = report["entries"][0];
    EXPECT_EQ(entry["timestamp"].asInt64(), nowSeconds());
    entry.removeMember("timestamp");
    EXPECT_EQ(entry, parseJson(R"({"version":"2.1","compliance":true,"protocol":3,"level":"ok","text":"all clear",
                                  "details":{"scanned":12},"qualifier":"daily","kind":"antivirus",
                                  "refurn":"urn:policy/av"})"));

    sync(false);
    EXPECT_TRUE(newReports().empty()) << "nothing new and the same etag: no request";

    clock->advanceSeconds(5);
    status->update(ApplicationCompliance("daily", true, 3, "ok", "all clear"), std::string("{\"scanned\":13}"));
    sync(false);
    reports = newReports();
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0]["entries"].size(), 1u);
    EXPECT_EQ(memberNames(reports[0]["entries"][0]),
              (std::set<std::string>{"details", "qualifier", "kind", "refurn", "timestamp"}));
    EXPECT_EQ(reports[0]["entries"][0]["details"], parseJson("{\"scanned\":13}"));

    clock->advanceSeconds(5);
    status->update(ApplicationCompliance("daily", true, 3, "ok", "all clear"), std::string("{\"scanned\":13}"));
    sync(false);
    EXPECT_TRUE(newReports().empty()) << "the same values with a new time stamp are nothing new";

    changeElsewhere();
    sync(false); // the user record read by this cycle carries the new etag
    sync(false);
    reports = newReports();
    ASSERT_EQ(reports.size(), 1u) << "the etag moved";
    EXPECT_FALSE(reports[0].isMember("entries"));
    EXPECT_EQ(reports[0]["etag"].asInt(), getMyUser()->etag);
}

TEST_F(StatusReportsOnTheService, ARefusedReportMakesTheNextOneFull) {
    const auto status = api.registerApplicationStatus("antivirus", "2.1", "urn:policy/av");
    status->update(ApplicationCompliance("daily", false, 1, "warn", "old"), Json::Value("x"));
    sync(false);
    ASSERT_EQ(newReports().size(), 1u);
    const std::set<std::string> everyMember{"version", "compliance", "protocol", "level",     "text",
                                            "details", "qualifier",  "kind",     "refurn", "timestamp"};

    // A refusal: false, with the level 2 line.
    status->update(ApplicationCompliance("daily", false, 1, "warn", "newer"), Json::Value("x"));
    refuse("aa/appStatus", 400);
    {
        VxMeta::testing::LogCatcher log;
        EXPECT_FALSE(getMyApplicationStatusManager()->reportApplicationStatuses());
        EXPECT_TRUE(log.saw("Failed to send application status/compliance - "));
    }
    EXPECT_TRUE(newReports().empty());
    sync(false);
    std::vector<Json::Value> reports = newReports();
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0]["entries"].size(), 1u);
    EXPECT_EQ(memberNames(reports[0]["entries"][0]), everyMember);

    // A 500 takes the server down: the failover signal goes to the caller, and the statuses it carried
    // are reported in full once the server is back.
    status->update(ApplicationCompliance("daily", true, 1, "warn", "newest"), Json::Value("x"));
    refuse("aa/appStatus", 500);
    EXPECT_THROW(getMyApplicationStatusManager()->reportApplicationStatuses(), ClusterException);
    EXPECT_TRUE(newReports().empty());
    clock->advanceSeconds(3600);
    sync(false);
    reports = newReports();
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0]["entries"].size(), 1u);
    EXPECT_EQ(memberNames(reports[0]["entries"][0]), everyMember);
    EXPECT_EQ(reports[0]["entries"][0]["text"], "newest");
}

TEST_F(StatusReportsOnTheService, A404SwitchesReportsOffUntilTheStateIsMadeAgain) {
    const auto status = api.registerApplicationStatus("antivirus", "2.1", "urn:policy/av");
    status->update(ApplicationCompliance("daily", true, 3, "ok", "fine"), Json::Value());
    refuse("aa/appStatus", 404);
    EXPECT_TRUE(getMyApplicationStatusManager()->reportApplicationStatuses());
    {
        LockScope lock(masterMutex);
        EXPECT_FALSE(globalState.appStatusesSupported);
    }
    const size_t asked = service.requestsTo("aa/appStatus").size();
    status->update(ApplicationCompliance("daily", false, 3, "bad", "changed"), Json::Value());
    changeElsewhere();
    sync(false);
    EXPECT_EQ(service.requestsTo("aa/appStatus").size(), asked) << "no request while switched off";

    logout();
    mdClearAll(false);
    LockScope lock(masterMutex);
    EXPECT_TRUE(globalState.appStatusesSupported) << "a new state reports again";
}

TEST_F(StatusReportsOnTheService, LogoutEmptiesTheRegistry) {
    const auto status = api.registerApplicationStatus("antivirus", "2.1", "urn:policy/av");
    status->update(ApplicationCompliance("daily", true, 3, "ok", "fine"), Json::Value());
    logout();
    EXPECT_NE(api.registerApplicationStatus("antivirus", "2.1", "urn:policy/av"), status);
    try {
        getMyApplicationStatusManager()->reportApplicationStatuses();
        ADD_FAILURE() << "a report needs a user";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_LOGIN_REQUIRED);
    }
    EXPECT_THROW(api.registerApplicationStatus("", "1", "urn:x"), VxMetaException);
}

} // namespace
