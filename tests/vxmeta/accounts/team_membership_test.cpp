// Team membership over an in-process service that stores joins as the service would (filling the
// team's side): the current join's order, taking over a pending join, withdrawing another, the
// full member's limits, nothing sent for an unchanged answer, a refused change that leaves the held
// join alone; the key-file forms.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_transport.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/key_files.h"
#include "vxmeta/accounts/team_membership.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;

namespace {

const std::string kMe = "urn:vx:user/joiner";

std::shared_ptr<CAJoin> join(const std::string& team, const std::string& userstatus, const std::string& teamstatus,
                             int64_t id) {
    auto made = std::make_shared<CAJoin>();
    made->participant = kMe;
    made->ca = made->caurn = team;
    made->userstatus = userstatus;
    made->teamstatus = teamstatus;
    made->id = id;
    made->remoteDirty = false;
    return made;
}

class TeamMembership : public ::testing::Test {
protected:
    void SetUp() override {
        init();
        mdClearAll(false);
        static std::string publicKey;
        static std::string privateKey;
        if (publicKey.empty()) generateRSAKeys(publicKey, privateKey);
        LockScope lock(masterMutex);
        myPID->urn = kMe;
        myPID->pubkey = publicKey;
        globalState.myPrikey = privateKey;
        lastOnlineTime = nowSeconds();
        // The service: a join is stored under the id it names (new joins get 70), its team URN is the
        // one the client sent, and the team's answer is the one the service holds (none for new ones).
        FakeTransport::install([this](const CommIO& io) {
            const std::string path = io.url.substr(io.url.find("/api/v1.0/") + 10);
            // The cluster's own housekeeping.
            if (path == "etag/0" || path == "clusterInfo") return FakeReply(200, "{}");
            requests.push_back(io.method + " " + path);
            if (refuse) return FakeReply(400, "{\"Message\":\"refused\"}");
            Json::Value body = parseJson(std::string(io.requestData.begin(), io.requestData.end()));
            bodies.push_back(body);
            if (io.method == "POST") body["id"] = 70;
            body["caurn"] = body["record"]["ca"];
            body["teamstatus"] = teamAnswers[body["record"]["ca"].asString()];
            return FakeReply(io.method == "POST" ? 201 : 200, jsonString(body));
        });
    }
    void TearDown() override {
        FakeTransport::uninstall();
        mdClearAll(false);
    }

    static void hold(const std::vector<std::shared_ptr<CAJoin>>& joins) {
        LockScope lock(masterMutex);
        myCAJoins->assign(joins.begin(), joins.end());
    }

    std::vector<std::string> requests;
    std::vector<Json::Value> bodies;
    std::map<std::string, std::string> teamAnswers;
    bool refuse = false;
};

template <typename Call>
VxMetaException failureOf(Call&& call) {
    try {
        call();
    } catch (const VxMetaException& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return VxMetaException("", "");
}

TEST_F(TeamMembership, CurrentJoinIsTheFirstFullMembershipElseTheLastOneTheUserAccepted) {
    const auto pendingA = join("urn:team/A", "allow", "", 1);
    const auto fullB = join("urn:team/B", "allow", "allow", 2);
    const auto refusedC = join("urn:team/C", "allow", "deny", 3);
    const auto declinedD = join("urn:team/D", "deny", "allow", 4);
    struct Case {
        std::vector<std::shared_ptr<CAJoin>> joins;
        std::shared_ptr<CAJoin> current;
    };
    const std::vector<Case> cases = {
        {{pendingA, fullB, refusedC}, fullB},
        {{pendingA, refusedC}, refusedC},
        {{refusedC, pendingA}, pendingA},
        {{declinedD}, nullptr},
        {{}, nullptr},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        hold(cases[i].joins);
        EXPECT_EQ(getCA(), cases[i].current) << i;
    }
    hold({pendingA, fullB});
    EXPECT_EQ(findCA("URN:TEAM/b"), fullB);
    EXPECT_EQ(findCA("urn:team/Z"), nullptr);
}

TEST_F(TeamMembership, APendingJoinMovesToTheNewTeam) {
    const auto pendingA = join("urn:team/A", "allow", "", 11);
    hold({pendingA});
    setCA("urn:team/B", "allow");
    EXPECT_EQ(requests, std::vector<std::string>{"PUT cajoin/11/"});
    EXPECT_EQ(pendingA->ca, "urn:team/B");
    EXPECT_EQ(pendingA->caurn, "urn:team/B");
    EXPECT_EQ(pendingA->userstatus, "allow");
    EXPECT_FALSE(pendingA->remoteDirty);
    EXPECT_EQ(bodies[0]["record"]["participant"].asString(), kMe);
    EXPECT_FALSE(bodies[0]["signature"].asString().empty()) << "signed again after the change";
    LockScope lock(masterMutex);
    EXPECT_EQ(myCAJoins->size(), 1u);
}

TEST_F(TeamMembership, AnotherAcceptedJoinIsWithdrawnAndANewOneCreated) {
    const auto refusedA = join("urn:team/A", "allow", "deny", 12);
    hold({refusedA});
    setCA("urn:team/B", "allow");
    EXPECT_EQ(requests, (std::vector<std::string>{"PUT cajoin/12/", "POST cajoin/"}));
    EXPECT_EQ(refusedA->userstatus, "deny");
    LockScope lock(masterMutex);
    ASSERT_EQ(myCAJoins->size(), 2u);
    const auto made = myCAJoins->back();
    EXPECT_EQ(made->id, 70);
    EXPECT_EQ(made->caurn, "urn:team/B");
    EXPECT_EQ(made->userstatus, "allow");
    EXPECT_EQ(made->teamstatus, "");
    EXPECT_FALSE(made->remoteDirty);
}

TEST_F(TeamMembership, AFullMemberMayOnlyDeclineOtherTeams) {
    const auto fullA = join("urn:team/A", "allow", "allow", 13);
    const auto invitationB = join("urn:team/B", "", "allow", 14);
    hold({fullA, invitationB});
    for (const auto& change : std::vector<std::pair<std::string, std::string>>{
             {"urn:team/A", "deny"}, {"urn:team/B", "allow"}, {"urn:team/C", "allow"}}) {
        const std::string& team = change.first;
        const VxMetaException failure = failureOf([&] { setCA(change.first, change.second); });
        EXPECT_EQ(failure.category, VXMECAT_CLIENT) << team;
        EXPECT_EQ(failure.message, "Your team status must be modified by your team administrator.");
    }
    EXPECT_TRUE(requests.empty());
    setCA("urn:team/B", "deny");
    EXPECT_EQ(requests, std::vector<std::string>{"PUT cajoin/14/"});
    EXPECT_EQ(invitationB->userstatus, "deny");
    EXPECT_EQ(fullA->userstatus, "allow");
}

TEST_F(TeamMembership, AnUnchangedAnswerOrADenialWithoutJoinSendsNothing) {
    hold({join("urn:team/A", "allow", "", 15)});
    setCA("URN:team/a", "allow");
    setCA("urn:team/Z", "deny");
    EXPECT_TRUE(requests.empty());
}

TEST_F(TeamMembership, ARefusedChangeLeavesTheHeldJoinAsItWas) {
    const auto pendingA = join("urn:team/A", "allow", "", 16);
    hold({pendingA});
    refuse = true;
    EXPECT_THROW(setCA("urn:team/B", "allow"), VxMetaException);
    EXPECT_EQ(pendingA->ca, "urn:team/A");
    EXPECT_EQ(pendingA->userstatus, "allow");
    EXPECT_EQ(pendingA->revision, 1);
}

TEST_F(TeamMembership, NobodySignedInMayNotChangeTeams) {
    {
        LockScope lock(masterMutex);
        globalState.myPrikey.clear();
    }
    EXPECT_EQ(failureOf([] { setCA("urn:team/A", "allow"); }).category, VXMECAT_LOGIN_REQUIRED);
}

TEST(KeyFiles, FormsAndKinds) {
    Asset asset;
    asset.urn = "file-abc/1";
    EXPECT_EQ(asset.asAKF(), "{\"asset\":\"file-abc/1\",\"version\":2}\n");
    struct Case {
        const char* text;
        const char* urn;      // null: fails
        const char* category; // of the failure
    };
    const std::vector<Case> cases = {
        {"file-abc/1", "file-abc/1", nullptr},
        {"{\"asset\":\"file-abc/1\",\"version\":2}\n", "file-abc/1", nullptr},
        {"{\"asset\":\"file-abc/1\"}", "file-abc/1", nullptr},
        {"{\"version\":1}", "", nullptr},
        {"{\"asset\":\"x\",\"version\":3}", nullptr, VXMECAT_UPGRADE},
        {"", nullptr, VXMECAT_CLIENT},
        {"{not json", nullptr, VXMECAT_CLIENT},
        {"{\"asset\":7,\"version\":2}", nullptr, VXMECAT_CLIENT},
        {"{\"asset\":\"x\",\"version\":\"2\"}", nullptr, VXMECAT_CLIENT},
        {"[1]", "[1]", nullptr}, // not an object: a bare URN
    };
    for (const Case& c : cases) {
        if (c.urn) {
            EXPECT_EQ(AKFToAssetURN(c.text), c.urn) << c.text;
            continue;
        }
        const VxMetaException failure = failureOf([&] { AKFToAssetURN(c.text); });
        EXPECT_EQ(failure.category, c.category) << c.text;
        EXPECT_EQ(failure.message, std::string(c.category) == VXMECAT_UPGRADE
                                       ? "Asset information is using a newer format - upgrade required."
                                       : "Bad AKF contents")
            << c.text;
    }
    EXPECT_EQ(AKFToAssetKind("file-abc/1"), "file");
    EXPECT_EQ(AKFToAssetKind(asset.asAKF()), "file");
    EXPECT_EQ(AKFToAssetKind("priv--x"), "priv");
    EXPECT_EQ(AKFToAssetKind("nodash"), "nodash");
}

} // namespace
