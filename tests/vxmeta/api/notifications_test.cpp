// The notice list computed from a local dataset and library state: identity kept while the cause
// stays, the kinds' texts, the team and problem rules, and the answers that fail.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;

namespace {

class Notices : public ::testing::Test {
protected:
    void SetUp() override {
        init();
        mdClearAll(false);
        clearProblems();
    }
    void TearDown() override {
        clearProblems();
        mdClearAll(false);
    }
    static void clearProblems() {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        syncProblems.clear();
    }
    static void addProblem(const std::string& message) {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        syncProblems.emplace_back(VXMECAT_PROTOCOL, message);
    }
    static void setUpgrade(int32_t level) {
        LockScope lock(masterMutex);
        globalState.upgradeState = level;
    }
    static void addJoin(const std::string& team, const std::string& userstatus, const std::string& teamstatus) {
        auto join = std::make_shared<CAJoin>();
        join->caurn = team;
        join->participant = "vx-user/me";
        join->userstatus = userstatus;
        join->teamstatus = teamstatus;
        LockScope lock(masterMutex);
        myCAJoins->push_back(join);
    }
    static std::vector<std::string> urns(const RecordListPtr<Notification>& list) {
        std::vector<std::string> out;
        for (const std::shared_ptr<Notification>& notice : *list) out.push_back(notice->urn);
        return out;
    }

    RawVorlane api;
};

TEST_F(Notices, ANoticeKeepsItsRecordWhileItsCauseStaysAndReturnsAsANewOne) {
    addProblem("first");
    const RecordListPtr<Notification> one = api.getNotifications();
    ASSERT_EQ(one->size(), 1u);
    const std::shared_ptr<Notification> first = one->front();
    EXPECT_EQ(first->id, 1);
    EXPECT_EQ(first->mode, "problem");
    EXPECT_EQ(first->type, "sync_problem");
    EXPECT_EQ(first->message, "first");

    setUpgrade(2);
    const RecordListPtr<Notification> two = api.getNotifications();
    ASSERT_EQ(urns(two), (std::vector<std::string>{"first", "VMCUS_2"}));
    EXPECT_EQ(two->at(0), first) << "the same record, id and text";
    EXPECT_EQ(two->at(1)->id, 2);

    // Handed out once by getSyncProblems, the problem's notice goes; when it comes back it is new.
    EXPECT_EQ(api.getSyncProblems().size(), 1u);
    EXPECT_EQ(urns(api.getNotifications()), (std::vector<std::string>{"VMCUS_2"}));
    addProblem("first");
    addProblem("first");
    const RecordListPtr<Notification> again = api.getNotifications();
    ASSERT_EQ(urns(again), (std::vector<std::string>{"first", "first", "VMCUS_2"}));
    EXPECT_EQ(again->at(0)->id, 3);
    EXPECT_EQ(again->at(1)->id, 4) << "the previous list did not hold the URN: two records";
    const RecordListPtr<Notification> twice = api.getNotifications();
    EXPECT_EQ(twice->at(0), twice->at(1)) << "both entries reuse the first of the previous list";
}

TEST_F(Notices, UpgradeLevelsGiveTheirTexts) {
    const std::vector<std::string> texts = {
        "Some of your application data would work better if you upgraded. A new feature is being used in your "
        "data set but this version doesn't have it.",
        "Upgrading is suggested. A new feature is being used in your data set but this version doesn't have it.",
        "Upgrading is strongly advised. A new feature is being used in your data set that has put you in "
        "read-only mode for some data. Encryption or managing access will not be possible.",
        "Upgrading is required. A new feature is being used in your data set that prevents you from using some "
        "data at all. Certain encryptions or decryptions will not be possible.",
    };
    EXPECT_TRUE(api.getNotifications()->empty()) << "level 0";
    for (int level = 1; level <= 4; ++level) {
        setUpgrade(level);
        const RecordListPtr<Notification> list = api.getNotifications();
        ASSERT_EQ(list->size(), 1u) << level;
        EXPECT_EQ(list->front()->urn, "VMCUS_" + std::to_string(level));
        EXPECT_EQ(list->front()->type, "upgrade_state");
        EXPECT_EQ(list->front()->message, texts[static_cast<size_t>(level - 1)]);
    }
}

TEST_F(Notices, InvitationsOnlyOutsideATeamAndTheTeamStatusTexts) {
    addJoin("urn:team/one", "", "allow");
    addJoin("urn:team/two", "", "");
    const RecordListPtr<Notification> list = api.getNotifications();
    ASSERT_EQ(urns(list), (std::vector<std::string>{"team-invitation-urn:team/one"}));
    EXPECT_EQ(list->front()->message, "You have been invited to join team urn:team/one");
    EXPECT_EQ(list->front()->action1, "Join");
    EXPECT_EQ(list->front()->action2, "Reject");
    EXPECT_EQ(list->front()->aux, "urn:team/one");
    EXPECT_EQ(api.getTeamStatus(), "");

    addJoin("urn:team/three", "allow", "");
    EXPECT_FALSE(api.isInATeam());
    EXPECT_EQ(api.getTeamStatus(), "urn:team/three (Pending)");
    addJoin("urn:team/four", "allow", "deny");
    EXPECT_EQ(api.getTeamStatus(), "urn:team/four (Denied)");
    addJoin("urn:team/five", "allow", "allow");
    EXPECT_TRUE(api.isInATeam());
    EXPECT_EQ(api.getTeamStatus(), "urn:team/five");
    EXPECT_TRUE(api.getNotifications()->empty()) << "a member of a team sees no invitations";
}

TEST_F(Notices, AnswersToProblemNoticesFailAndKeepThemUnknownURNsDoNothing) {
    addProblem("broken");
    setUpgrade(3);
    api.getNotifications();
    for (const auto& pair : {std::pair<std::string, std::string>{"broken", "sync_problem"},
                             {"VMCUS_3", "upgrade_state"}}) {
        const std::string& urn = pair.first;
        const std::string& type = pair.second;
        const VxMetaException failure = thrownBy([&] { api.respondToNotification(urn, "Allow"); });
        EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
        EXPECT_EQ(failure.message, "Unexpected notification type " + type);
    }
    EXPECT_EQ(api.notices->size(), 2u);
    api.respondToNotification("not shown", "Allow");
    EXPECT_EQ(api.notices->size(), 2u);
}

TEST_F(Notices, ClientPolicyIsTheFirstPolicyDatum) {
    EXPECT_EQ(api.getClientPolicy(), "");
    for (const auto& [kind, value] : {std::pair<std::string, std::string>{"Contingency", "key"},
                                      {"ClientPolicy", "{\"first\":1}"},
                                      {"ClientPolicy", "{\"second\":2}"}}) {
        auto datum = std::make_shared<TeamData>();
        datum->kind = kind;
        datum->value = value;
        LockScope lock(masterMutex);
        myTeamDatas->push_back(datum);
    }
    EXPECT_EQ(api.getClientPolicy(), "{\"first\":1}");
    EXPECT_FALSE(api.teamHasTeamKey());
    {
        LockScope lock(masterMutex);
        globalState.teamGroupUrn = "urn:group/team";
    }
    EXPECT_TRUE(api.teamHasTeamKey());
}

} // namespace
