// Key distribution and team membership end to end against the test key service over HTTPS, with
// users that each see only their own part of the service (its per-account views): A's cycle issues
// the key revision of a participant A allowed, once, and that participant opens it; an address A
// invited gets its revision rewritten for the identity that registers it; B joins A's team, withdraws
// and joins again, is accepted by the team's side, may then no longer leave, and its personal key
// reaches the team's contingency key. What the client wrapped is opened by Python.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/accounts/team_membership.h"
#include "vxmeta/comm/last_check_domain.h"
#include "support/ci_requirement.h"
#include "support/key_service.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/sync_cycle.h"
#include "support/record_test_support.h"

using namespace VxMeta;

namespace {

const char kPassword[] = "team pass";
const char kTeam[] = "urn:vx:team/alpha";
const char kShared[] = "file-shared-1";

class KeysOnTheService : public VxMeta::testing::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (service.servers.empty()) VX_SKIP_OR_FAIL_IN_CI("the test key service is not running");
        service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
        service.call("POST", "/views", "{\"enabled\":true}");
        appName = "Reader";
        appVersion = "1.0";
        platformType = "Linux";
        deviceName = "test desk";
    }
    void TearDown() override {
        mdClearAll(false);
        appName.clear();
        appVersion.clear();
        platformType.clear();
        deviceName.clear();
        ServiceTest::TearDown();
    }

    Json::Value admin(const std::string& path, const Json::Value& body) {
        const Json::Value reply = service.call("POST", path, jsonString(body));
        EXPECT_FALSE(reply.isMember("error")) << path << ": " << jsonString(reply);
        return reply;
    }
    // A password account with a verified address and its directory record published.
    Json::Value person(const std::string& email) {
        Json::Value spec;
        spec["email"] = email;
        spec["password"] = kPassword;
        spec["rounds"] = 1000;
        const Json::Value account = admin("/accounts", spec);
        admin("/people/" + account["id"].asString() + "/verified", Json::Value(Json::objectValue));
        admin("/people/" + account["id"].asString() + "/publish", Json::Value(Json::objectValue));
        return account;
    }
    // A key the account owns with its revision 1; answers the session key too.
    Json::Value keyOf(const Json::Value& account, const std::string& urn, const std::string& kind,
                      const std::string& ca = "") {
        Json::Value spec;
        spec["urn"] = urn;
        spec["kind"] = kind;
        if (!ca.empty()) spec["ca"] = ca;
        return admin("/people/" + account["id"].asString() + "/key", spec);
    }
    // The owner's right for a participant, as the owner's other device made it.
    void allow(const Json::Value& owner, const std::string& participant, int64_t participantId) {
        Json::Value spec;
        spec["form"]["record"]["asset"] = kShared;
        spec["form"]["record"]["owner"] = owner["urn"];
        spec["form"]["record"]["participant"] = participant;
        spec["form"]["record"]["access"] = "allow";
        spec["form"]["ownerid"] = owner["id"];
        spec["form"]["participantid"] = Json::Int64(participantId);
        spec["signer"] = owner["id"];
        admin("/sync/records/assetright", spec);
    }
    // This device signs in as the account (a fresh device: nothing of another user is kept) and runs
    // a first cycle.
    void signInAs(const Json::Value& account) {
        mdClearAll(false);
        setMds(service.servers.at(0), service.servicePublicKey);
        cacheLoginParameters.clear();
        lastCheckDomain.clear();
        lastUserLookup.clear();
        login(account["email"].asString(), kPassword, false);
        ASSERT_TRUE(loggedIn());
        sync(false);
    }
    // The stored forms of a stem whose record member `name` is `value`.
    std::vector<Json::Value> stored(const std::string& stem, const std::string& name, const std::string& value) {
        std::vector<Json::Value> found;
        const Json::Value all = service.call("GET", "/records");
        for (const Json::Value& form : all["records"][stem])
            if (form["record"][name].asString() == value) found.push_back(form);
        return found;
    }
    size_t requestsTo(const std::string& methodAndPath) {
        size_t count = 0;
        const Json::Value log = service.log();
        for (const Json::Value& entry : log) {
            const std::string path = entry["path"].asString();
            if (entry["method"].asString() + " " + path.substr(path.find("/api/v1.0/") + 10) == methodAndPath) ++count;
        }
        return count;
    }
    static std::shared_ptr<AssetKey> heldKey(const std::string& asset, const std::string& participant) {
        LockScope lock(masterMutex);
        for (const auto& key : *myKeys)
            if (key->asset == asset && key->participant == participant) return key;
        return nullptr;
    }

    // Python's verdict that two wrapped forms hold the same session key.
    static std::string sameSession(const std::string& holderKey, const std::string& holderWrapped,
                                   const std::string& recipientKey, const std::string& recipientWrapped) {
        return VxMetaTest::sameSessionVerdict(holderKey, holderWrapped, recipientKey, recipientWrapped);
    }
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

TEST_F(KeysOnTheService, AnAllowedParticipantGetsTheRevisionOnceAndOpensIt) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    keyOf(a, "priv-a", "priv");
    const Json::Value shared = keyOf(a, kShared, "file");
    allow(a, b["urn"].asString(), b["id"].asInt64());

    signInAs(a);
    std::vector<Json::Value> issued = stored("assetkey", "participant", b["urn"].asString());
    ASSERT_EQ(issued.size(), 1u);
    EXPECT_EQ(issued[0]["record"]["asset"].asString(), kShared);
    EXPECT_EQ(issued[0]["record"]["owner"].asString(), a["urn"].asString());
    EXPECT_EQ(issued[0]["record"]["keysequence"].asInt(), 1);
    EXPECT_EQ(issued[0]["participantid"].asInt64(), b["id"].asInt64());
    EXPECT_EQ(sameSession(a["privateKey"].asString(), shared["key"]["record"]["keymaterial"].asString(),
                          b["privateKey"].asString(), issued[0]["record"]["keymaterial"].asString()),
              "valid\n");

    const size_t posts = requestsTo("POST assetkey/");
    EXPECT_EQ(posts, 1u);
    sync(false);
    sync(true);
    EXPECT_EQ(requestsTo("POST assetkey/"), posts) << "a later cycle issues nothing";
    EXPECT_EQ(stored("assetkey", "participant", b["urn"].asString()).size(), 1u);

    // B's device holds the revision, may use it and opens it.
    signInAs(b);
    const std::shared_ptr<AssetKey> held = heldKey(kShared, b["urn"].asString());
    ASSERT_TRUE(held);
    EXPECT_TRUE(held->allowed);
    EXPECT_EQ(held->decryptKeyMaterial(), shared["session"].asString());
    EXPECT_FALSE(heldKey(kShared, a["urn"].asString())) << "B's view holds none of A's own revisions";
}

TEST_F(KeysOnTheService, AnInvitedAddressIsRewrittenToTheIdentityThatRegistersIt) {
    const Json::Value a = person("a@example.test");
    keyOf(a, "priv-a", "priv");
    const Json::Value shared = keyOf(a, kShared, "file");
    // Addresses of this domain without an account get key material for the service's own key.
    Json::Value domain;
    domain["domain"] = "invitee.test";
    domain["url"] = service.servers.at(0);
    domain["pubkey"] = service.servicePublicKey;
    admin("/domains", domain);
    const std::string invited = "email!c@invitee.test";
    allow(a, invited, 0);

    signInAs(a);
    ASSERT_EQ(stored("assetkey", "participant", invited).size(), 1u);
    ASSERT_EQ(requestsTo("GET aa/userOrServer?email=c%40invitee.test"), 1u);

    const Json::Value c = person("C@invitee.test");
    Json::Value registered;
    registered["email"] = "c@invitee.test";
    EXPECT_EQ(admin("/people/registered", registered)["tied"].asInt(), 2);
    sync(false);
    EXPECT_TRUE(stored("assetkey", "participant", invited).empty());
    EXPECT_TRUE(stored("assetright", "participant", invited).empty());
    EXPECT_EQ(stored("assetright", "participant", c["urn"].asString()).size(), 1u);
    const std::vector<Json::Value> rewritten = stored("assetkey", "participant", c["urn"].asString());
    ASSERT_EQ(rewritten.size(), 1u);
    EXPECT_EQ(sameSession(a["privateKey"].asString(), shared["key"]["record"]["keymaterial"].asString(),
                          c["privateKey"].asString(), rewritten[0]["record"]["keymaterial"].asString()),
              "valid\n");
}

TEST_F(KeysOnTheService, JoiningATeamWithdrawingAndTheFullMembersLimit) {
    Json::Value spec;
    spec["urn"] = kTeam;
    const Json::Value team = admin("/teams", spec);
    const Json::Value a = person("a@example.test");
    Json::Value member;
    member["account"] = a["id"];
    admin("/teams/" + team["id"].asString() + "/member", member);
    const Json::Value b = person("b@example.test");
    keyOf(b, "priv-b", "priv");

    signInAs(b);
    setCA("URN:vx:team/ALPHA", "allow");
    std::vector<Json::Value> joins = stored("cajoin", "participant", b["urn"].asString());
    ASSERT_EQ(joins.size(), 1u);
    EXPECT_EQ(joins[0]["caurn"].asString(), kTeam);
    EXPECT_EQ(joins[0]["teamstatus"].asString(), "");
    ASSERT_TRUE(getCA());
    EXPECT_EQ(getCA()->caurn, kTeam);

    // A pending join can be withdrawn, and given again.
    setCA(kTeam, "deny");
    EXPECT_EQ(stored("cajoin", "participant", b["urn"].asString())[0]["record"]["userstatus"].asString(), "deny");
    EXPECT_FALSE(getCA());
    setCA(kTeam, "allow");
    joins = stored("cajoin", "participant", b["urn"].asString());
    ASSERT_EQ(joins.size(), 1u) << "the same join, answered again";
    EXPECT_EQ(joins[0]["record"]["userstatus"].asString(), "allow");
    EXPECT_EQ(requestsTo("POST cajoin/"), 1u);
    EXPECT_EQ(requestsTo("PUT cajoin/" + joins[0]["id"].asString() + "/"), 2u);

    // The team's side accepts; the next cycle makes B a full member of the team.
    Json::Value answer;
    answer["teamstatus"] = "allow";
    admin("/teams/joins/" + joins[0]["id"].asString() + "/answer", answer);
    sync(false);
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(globalState.caUrn, kTeam);
        EXPECT_EQ(globalState.teamId, team["id"].asInt());
    }
    const VxMetaException refused = failureOf([] { setCA(kTeam, "deny"); });
    EXPECT_EQ(refused.category, VXMECAT_CLIENT);
    EXPECT_EQ(refused.message, "Your team status must be modified by your team administrator.");

    // B's personal key started a revision for the new team, which reaches the team's contingency key.
    sync(false);
    const std::vector<Json::Value> contingency = stored("contingencykey", "owner", b["urn"].asString());
    ASSERT_EQ(contingency.size(), 1u);
    EXPECT_EQ(contingency[0]["record"]["keysequence"].asInt(), 2);
    EXPECT_EQ(contingency[0]["record"]["ca"].asString(), kTeam);
    std::string secondMaterial;
    for (const Json::Value& form : stored("assetkey", "asset", "priv-b"))
        if (form["record"]["keysequence"].asInt() == 2) secondMaterial = form["record"]["keymaterial"].asString();
    ASSERT_FALSE(secondMaterial.empty());
    EXPECT_EQ(sameSession(b["privateKey"].asString(), secondMaterial, team["privateKey"].asString(),
                          contingency[0]["record"]["keymaterial"].asString()),
              "valid\n");
}

} // namespace
