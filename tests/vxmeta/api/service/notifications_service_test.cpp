// The user's notices end to end against the test key service over HTTPS, each user seeing only their
// own part of the service: B asks for A's key; A's notices show the request under one record across
// calls, with B looked up from the service; A's answer lets B open the key. The team's side invites B;
// B's notices show the invitation; B joins through it and becomes a full member.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "vxmeta/accounts/service/managed_keys_fixture.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

class NoticesOnTheService : public VxMeta::testing::ManagedKeysServiceTest {
protected:
    static std::shared_ptr<Notification> noticeOfType(const RecordListPtr<Notification>& list, const std::string& type) {
        for (const std::shared_ptr<Notification>& notice : *list)
            if (notice->type == type) return notice;
        return nullptr;
    }
    // Under the master lock: the dataset forgets the identity, so that a look-up must ask the service.
    static void forgetIdentity(const std::string& urn) {
        LockScope lock(masterMutex);
        std::erase_if(*myXPIDs, [&](const std::shared_ptr<XPID>& identity) { return identity->urn == urn; });
    }
};

TEST_F(NoticesOnTheService, AnAccessRequestIsShownAnsweredAndOpensTheKey) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    RawVorlane api;

    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    const std::string material = made.getEncryptionKey()->decryptKeyMaterial();
    const std::string metadata = metadataFor(a["urn"].asString(), urn, 1);

    signInAs(b, true);
    api.askForAsset(metadata);
    EXPECT_EQ(requestsTo("POST assetrequest/"), 1u);

    signInAs(a, true);
    forgetIdentity(b["urn"].asString());
    lastUserLookup.clear();
    const size_t lookups = requestsTo("GET xpid");
    const RecordListPtr<Notification> first = api.getNotifications();
    EXPECT_GT(requestsTo("GET xpid"), lookups) << "the requester came from the service";
    const std::shared_ptr<Notification> request = noticeOfType(first, "asset_request");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->urn, urn + "-" + b["urn"].asString());
    EXPECT_EQ(request->mode, "queue");
    EXPECT_EQ(request->message, "b@example.test (b@example.test) requests access to Plans");
    EXPECT_EQ(request->action1, "Allow");
    EXPECT_EQ(request->action2, "Deny");

    const size_t after = requestsTo("GET xpid");
    const RecordListPtr<Notification> second = api.getNotifications();
    EXPECT_EQ(noticeOfType(second, "asset_request"), request) << "the same record, with its id and text";
    EXPECT_EQ(requestsTo("GET xpid"), after) << "a shown request looks nothing up";

    api.respondToNotification(request->urn, "Allow");
    EXPECT_FALSE(noticeOfType(api.getNotifications(), "asset_request"));
    // The next cycles send the right, then the revision the pass gives B.
    sync(false);
    sync(false);

    signInAs(b, false);
    SingleAssetManager opened;
    EXPECT_EQ(opened.getDecryptionKeyMaterial(metadata, false), material);
}

TEST_F(NoticesOnTheService, TheTeamsInvitationIsShownAndJoinedThroughIt) {
    const Json::Value b = person("b@example.test");
    Json::Value spec;
    spec["urn"] = "urn:vx:team/alpha";
    const Json::Value team = admin("/teams", spec);
    Json::Value invitee;
    invitee["account"] = b["id"];
    admin("/teams/" + team["id"].asString() + "/invite", invitee);
    RawVorlane api;

    signInAs(b, true);
    EXPECT_FALSE(api.isInATeam());
    EXPECT_EQ(api.getTeamStatus(), "");
    const RecordListPtr<Notification> notices = api.getNotifications();
    const std::shared_ptr<Notification> invitation = noticeOfType(notices, "team_invitation");
    ASSERT_TRUE(invitation);
    EXPECT_EQ(invitation->urn, "team-invitation-urn:vx:team/alpha");
    EXPECT_EQ(invitation->message, "You have been invited to join team urn:vx:team/alpha");
    EXPECT_EQ(invitation->aux, "urn:vx:team/alpha");
    EXPECT_EQ(noticeOfType(api.getNotifications(), "team_invitation"), invitation);

    api.respondToNotification(invitation->urn, "Join");
    const std::vector<Json::Value> joins = stored("cajoin", "participant", b["urn"].asString());
    ASSERT_EQ(joins.size(), 1u) << "the invitation itself was answered";
    EXPECT_EQ(joins[0]["record"]["userstatus"].asString(), "allow");
    EXPECT_EQ(joins[0]["teamstatus"].asString(), "allow");
    EXPECT_FALSE(noticeOfType(api.getNotifications(), "team_invitation"));

    sync(false);
    EXPECT_TRUE(api.isInATeam());
    EXPECT_EQ(api.getTeamStatus(), "urn:vx:team/alpha");
    LockScope lock(masterMutex);
    EXPECT_EQ(globalState.caUrn, "urn:vx:team/alpha");
}

} // namespace
