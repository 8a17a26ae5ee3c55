// The key step of the reconciliation pass over an in-process dataset: the personal key index and a
// new personal key sequence for a new team, the "allowed" table, the "ckeymaterial" backfill, missing
// key revisions for participants (registered, invited by address, invited and since registered), the
// look-up of an address without the master lock (an MFA refusal reads as no identity), contingency
// keys and contingency master keys. What the pass wraps is opened by Python `cryptography`
// (tests/vectors/key_distribution.py).
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pass_fixture.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"
#include "support/record_test_support.h"

using namespace VxMeta;
using namespace VxMetaTest;

namespace {

const std::string kShared = "urn:asset/shared";
const std::string kTeam = "urn:team/t";

// Python's verdict on the cases ("valid\n" when all hold).
std::string pythonVerdict(const Json::Value& cases) {
    return VxMetaTest::checkWithVectorScript("key_distribution.py", cases, "key_distribution.json");
}

// A case list of one case.
Json::Value only(const Json::Value& oneCase) {
    Json::Value cases(Json::arrayValue);
    cases.append(oneCase);
    return cases;
}

Json::Value opening(const std::string& privateKey, const std::string& wrapped) {
    Json::Value side;
    side["privateKey"] = base64_encode(privateKey);
    side["wrapped"] = wrapped;
    return side;
}

// The session key the holder opens is the one the recipient opens.
Json::Value sameSession(const std::string& holderKey, const std::string& holderWrapped,
                        const std::string& recipientKey, const std::string& recipientWrapped) {
    Json::Value c;
    c["kind"] = "session";
    c["holder"] = opening(holderKey, holderWrapped);
    c["recipient"] = opening(recipientKey, recipientWrapped);
    return c;
}

class KeyDistribution : public PassTest {
protected:
    // An own asset shared with others, and the user's keys of it (sequences 1..n), wrapped for the user.
    std::vector<std::shared_ptr<AssetKey>> shareAsset(int32_t sequences) {
        std::vector<std::shared_ptr<AssetKey>> own;
        LockScope lock(masterMutex);
        myAssets->push_back(asset(kShared, kMe));
        for (int32_t s = 1; s <= sequences; ++s) {
            auto made = key(kShared, kMe, kMe, s, encryptSessionKey(generateSessionKey(), userPair().publicKey), 900 + s);
            made->ckeymaterial = "V3-not-checked-here";
            myKeys->push_back(made);
            own.push_back(made);
        }
        return own;
    }
    static std::vector<std::shared_ptr<AssetKey>> keysOf(const std::string& participant) {
        LockScope lock(masterMutex);
        std::vector<std::shared_ptr<AssetKey>> found;
        for (const auto& k : *myKeys)
            if (k->participant == participant) found.push_back(k);
        return found;
    }
    static std::shared_ptr<TeamData> teamContingencyDatum(int64_t id) {
        auto datum = std::make_shared<TeamData>();
        datum->kind = "Contingency";
        datum->name = "Public Key";
        datum->value = teamPair().publicKey;
        datum->extra = kTeam;
        datum->team_id = 3;
        datum->id = id;
        datum->remoteDirty = false;
        return datum;
    }
    static void joinTeam() {
        LockScope lock(masterMutex);
        myUser->team_id = 3;
        myUser->ca = kTeam;
    }
};

TEST_F(KeyDistribution, PersonalKeyIsTheHighestSequenceAndANewTeamStartsOneNewSequence) {
    signInWithPersonalKey();
    const auto second = key(kPersonalAsset, kMe, kMe, 2, encryptSessionKey(generateSessionKey(), userPair().publicKey), 101);
    const auto master = key("groupMaster-x", kOther, "urn:vx:group/g", 1, "V2-m", 102);
    master->participantid = kMyId;
    master->ownerid = 55;
    {
        LockScope lock(masterMutex);
        myKeys->push_back(second);
        myKeys->push_back(master);
    }
    auto pass = runMaster();
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(globalState.personalKey, second);
        EXPECT_EQ(globalState.personalKeys.size(), 2u);
        EXPECT_EQ(globalState.masterKeys.at(55), master);
    }
    EXPECT_EQ(keysOf(kMe).size(), 2u) << "same team: no new sequence";

    joinTeam();
    pass = runMaster();
    EXPECT_TRUE(pass->isChanged());
    pass = runMaster();
    const auto mine = keysOf(kMe);
    ASSERT_EQ(mine.size(), 3u) << "one new sequence, not one per pass";
    const auto third = mine.back();
    EXPECT_EQ(third->keysequence, 3);
    EXPECT_EQ(third->ca, kTeam);
    EXPECT_EQ(third->asset, kPersonalAsset);
    EXPECT_EQ(third->owner, kMe);
    EXPECT_EQ(third->homeServer, "home-1");
    EXPECT_TRUE(third->remoteDirty);
    EXPECT_EQ(decryptSessionKey(third->keymaterial).size(), 44u);
    LockScope lock(masterMutex);
    EXPECT_EQ(globalState.personalKey, third) << "the second pass indexes it";
}

TEST_F(KeyDistribution, WhichStoredKeysThisClientMayUse) {
    signIn();
    const auto own = asset("urn:asset/own", kMe);
    const auto theirs = asset("urn:asset/theirs", kOther);
    const auto old = asset("urn:asset/old", kOther);
    const auto going = asset("urn:asset/going", kOther);
    going->delete_by = "2030-01-01";
    auto mandatory = std::make_shared<AssetFeature>();
    mandatory->asset = old->urn;
    mandatory->name = "Watermark";
    mandatory->compatibility = "Mandatory";
    struct Case {
        std::shared_ptr<AssetKey> key;
        bool allowed;
    };
    const auto forwarded = key(theirs->urn, kOther, "email!me@example.test", 4, "V2-service");
    forwarded->forwarded_keymaterial = "V2-forwarded";
    const auto forwardedEmpty = key(theirs->urn, kOther, "EMAIL!Me@Example.test", 5, "V2-service");
    const auto viaMaster = key(theirs->urn, kOther, "urn:vx:user/owner-of-master", 1);
    viaMaster->participantid = 55;
    const auto unstored = key(theirs->urn, kOther, kMe, 9, "V2-new", 0);
    unstored->allowed = true;
    const std::vector<Case> cases = {
        {key(own->urn, kMe, kMe, 1), true},
        {key(own->urn, kOther, kMe, 2), true},                // own asset: a "deny" for me does not count
        {key(theirs->urn, kOther, kMe, 1), false},            // withdrawn by the owner's "deny"
        {key(theirs->urn, kOther, kOther, 1), false},
        {key(old->urn, kOther, kMe, 1), false},               // upgrade level 4
        {key(going->urn, kOther, kMe, 1), false},             // being deleted
        {key("urn:asset/unknown", kOther, kMe, 1), false},
        {key("urn:asset/unknown", "urn:vx:group/team", kOther, 1), true},
        {key(going->urn, kOther, "urn:vx:group/team", 1), true},
        {forwarded, true},
        {forwardedEmpty, true},
        {viaMaster, true},
        {unstored, true},                                     // not stored yet: left as it is
    };
    {
        LockScope lock(masterMutex);
        myPID->forwarding_urn = "email!me@example.test";
        myAssets->assign({own, theirs, old, going});
        myFeatures->assign({mandatory});
        myRights->assign({right(own->urn, kMe, "deny"), right(theirs->urn, kMe, "deny")});
        for (const Case& c : cases) myKeys->push_back(c.key);
        globalState.teamGroupUrn = "urn:vx:group/team";
        globalState.masterKeys[55] = key("groupMaster-55", "urn:vx:user/owner-of-master", kMe, 1);
        StateProcessor pass(myAssets, myRights, myKeys, myFeatures);
        pass.run(false);
    }
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].key->allowed, cases[i].allowed) << i;
    EXPECT_EQ(forwarded->keymaterial, "V2-forwarded");
    EXPECT_TRUE(forwarded->localDirty);
    EXPECT_EQ(forwardedEmpty->keymaterial, "V2-service") << "no forwarded material: the key stays";
    EXPECT_EQ(cases[0].key->assetLink, own);
    EXPECT_EQ(cases[6].key->assetLink, nullptr);
}

TEST_F(KeyDistribution, OwnKeyGetsItsSecondWrappingUnderThePersonalKey) {
    signInWithPersonalKey();
    const std::string session = generateSessionKey();
    const auto own = key("urn:asset/own", kMe, kMe, 1, encryptSessionKey(session, userPair().publicKey));
    {
        LockScope lock(masterMutex);
        myAssets->push_back(asset("urn:asset/own", kMe));
        myKeys->push_back(own);
    }
    const auto pass = runMaster();
    EXPECT_TRUE(pass->isChanged());
    EXPECT_TRUE(own->remoteDirty);
    ASSERT_TRUE(startswith(own->ckeymaterial, "V3-1-"));
    EXPECT_EQ(decryptAssetKey(own->ckeymaterial), session);
}

TEST_F(KeyDistribution, AParticipantGetsExactlyTheMissingRevisions) {
    signInWithPersonalKey(kTeam);
    joinTeam();
    const auto own = shareAsset(3);
    {
        LockScope lock(masterMutex);
        myXPIDs->push_back(identity(kOther, kOtherId, otherPair().publicKey));
        myRights->push_back(right(kShared, kOther, "allow", kOtherId));
        myKeys->push_back(key(kShared, kMe, kOther, 1, "V2-had", 950));
        myKeys->push_back(key(kShared, kMe, kOther, 2, "V2-had", 951));
    }
    auto pass = runMaster();
    EXPECT_TRUE(pass->isChanged());
    auto given = keysOf(kOther);
    ASSERT_EQ(given.size(), 3u);
    const auto made = given.back();
    EXPECT_EQ(made->keysequence, 3);
    EXPECT_EQ(made->owner, kMe);
    EXPECT_EQ(made->ca, kTeam);
    EXPECT_EQ(made->id, 0);
    EXPECT_TRUE(made->remoteDirty);
    EXPECT_EQ(pythonVerdict(only(sameSession(
                  userPair().privateKey, own[2]->keymaterial, otherPair().privateKey, made->keymaterial))),
              "valid\n");

    pass = runMaster();
    EXPECT_EQ(keysOf(kOther).size(), 3u) << "a second pass issues nothing";

    // A "deny" right gets nothing.
    {
        LockScope lock(masterMutex);
        myXPIDs->push_back(identity("urn:vx:user/denied", 43, otherPair().publicKey));
        myRights->push_back(right(kShared, "urn:vx:user/denied", "deny", 43));
    }
    runMaster();
    EXPECT_TRUE(keysOf("urn:vx:user/denied").empty());
}

TEST_F(KeyDistribution, AnAddressWithoutAccountGetsKeysForTheServicesKeyLookedUpWithoutTheLock) {
    signInWithPersonalKey();
    const auto own = shareAsset(2);
    const std::string invited = "email!new@invitee.test";
    Json::Value reply;
    reply["server"]["pubkey"] = groupPair().publicKey;
    service->on("GET aa/userOrServer?email=new%40invitee.test", reply);
    std::vector<int> depths;
    service->onRequest = [&](const std::string&) { depths.push_back(masterLockDepth()); };
    {
        LockScope lock(masterMutex);
        myRights->push_back(right(kShared, invited, "allow", 0));
        // Registered, but the service has not tied the invitation to it yet: nothing is given.
        myXPIDs->push_back(identity("urn:vx:user/known", 56, otherPair().publicKey, "known@invitee.test"));
        myRights->push_back(right(kShared, "email!known@invitee.test", "allow", 0));
    }
    runMaster();
    const auto given = keysOf(invited);
    ASSERT_EQ(given.size(), 2u);
    ASSERT_FALSE(depths.empty());
    for (int depth : depths) EXPECT_EQ(depth, 0) << "no request under the master lock";
    EXPECT_TRUE(keysOf("email!known@invitee.test").empty());
    Json::Value cases(Json::arrayValue);
    for (int i = 0; i < 2; ++i)
        cases.append(sameSession(userPair().privateKey, own[i]->keymaterial, groupPair().privateKey, given[i]->keymaterial));
    EXPECT_EQ(pythonVerdict(cases), "valid\n");
}

TEST_F(KeyDistribution, AnMfaRefusalOfTheLookUpReadsAsNoIdentity) {
    signInWithPersonalKey();
    shareAsset(1);
    service->on("GET aa/userOrServer?email=mfa%40invitee.test",
                VxMeta::testing::FakeReply(403, "{\"Message\":\"MFA needed\",\"reason\":\"MFA Required\"}"));
    {
        LockScope lock(masterMutex);
        myRights->push_back(right(kShared, "email!mfa@invitee.test", "allow", 0));
    }
    EXPECT_NO_THROW(runMaster());
    EXPECT_TRUE(keysOf("email!mfa@invitee.test").empty());
}

TEST_F(KeyDistribution, AnInvitationTakenByAKnownIdentityIsRewrittenAndCompleted) {
    signInWithPersonalKey();
    const auto own = shareAsset(2);
    const auto invitation = right(kShared, "email!Later@Invitee.test", "allow", kOtherId);
    const auto sent = key(kShared, kMe, "email!later@invitee.test", 1, encryptSessionKey("unused", groupPair().publicKey), 960);
    {
        LockScope lock(masterMutex);
        myXPIDs->push_back(identity(kOther, kOtherId, otherPair().publicKey, "later@invitee.test"));
        myRights->push_back(invitation);
        myKeys->push_back(sent);
    }
    const auto pass = runMaster();
    EXPECT_TRUE(pass->isChanged());
    EXPECT_EQ(invitation->participant, kOther);
    EXPECT_TRUE(invitation->remoteDirty);
    EXPECT_EQ(sent->participant, kOther);
    EXPECT_TRUE(sent->remoteDirty);
    const auto given = keysOf(kOther);
    ASSERT_EQ(given.size(), 2u) << "the rewritten revision and the missing one";
    EXPECT_EQ(given[1]->keysequence, 2);
    Json::Value cases(Json::arrayValue);
    for (int i = 0; i < 2; ++i)
        cases.append(sameSession(userPair().privateKey, own[i]->keymaterial, otherPair().privateKey, given[i]->keymaterial));
    EXPECT_EQ(pythonVerdict(cases), "valid\n");
    EXPECT_TRUE(pass->keysByUrn.find(StateProcessor::urnForKey(kShared, kOther, 1)));
    EXPECT_FALSE(pass->keysByUrn.find(StateProcessor::urnForKey(kShared, "email!later@invitee.test", 1)));
}

TEST_F(KeyDistribution, PersonalKeysOfTheTeamAreGivenToItsContingencyKeyOnce) {
    const std::string session = signInWithPersonalKey(kTeam);
    joinTeam();
    {
        LockScope lock(masterMutex);
        myTeamDatas->push_back(teamContingencyDatum(12));
        myTeamDatas->push_back(teamContingencyDatum(0)); // not stored yet: not the team's key
        myTeamDatas->back()->remoteDirty = true;
    }
    auto pass = runMaster();
    EXPECT_TRUE(pass->isChanged());
    std::shared_ptr<ContingencyKey> made;
    {
        LockScope lock(masterMutex);
        ASSERT_EQ(myContingencyKeys->size(), 1u);
        made = myContingencyKeys->front();
    }
    EXPECT_EQ(made->owner, kMe);
    EXPECT_EQ(made->keysequence, 1);
    EXPECT_EQ(made->ca, kTeam);
    const std::string personalMaterial = keysOf(kMe).front()->keymaterial;
    EXPECT_EQ(pythonVerdict(only(sameSession(
                  userPair().privateKey, personalMaterial, teamPair().privateKey, made->keymaterial))),
              "valid\n");
    runMaster();
    LockScope lock(masterMutex);
    EXPECT_EQ(myContingencyKeys->size(), 1u);
}

TEST_F(KeyDistribution, TheContingencyMasterKeyIsGivenToTheOtherGroupMembersAndVerifies) {
    signInWithPersonalKey();
    auto mine = std::make_shared<ContingencyMasterKey>();
    mine->recipient = kMe;
    mine->ca = kTeam;
    mine->keymaterial = encryptMasterKey(teamPair().privateKey, userPair().publicKey);
    auto member = std::make_shared<ContingencyGroup>();
    member->urn = kOther;
    member->pubkey = otherPair().publicKey;
    member->caid = kTeam;
    auto self = std::make_shared<ContingencyGroup>();
    self->urn = kMe;
    self->pubkey = userPair().publicKey;
    self->caid = kTeam;
    {
        LockScope lock(masterMutex);
        // Without encryption by the personal key, the pass goes on to the master keys.
        globalState.satellitePolicy.skey_flag = 0x9;
        myContingencyMasterKeys->push_back(mine);
        myTeamDatas->push_back(teamContingencyDatum(12));
    }
    runMaster();
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(myContingencyMasterKeys->size(), 1u) << "no contingency group: nothing";
        myContingencyGroups->assign({self, member});
    }
    const auto pass = runMaster();
    EXPECT_TRUE(pass->isChanged());
    std::shared_ptr<ContingencyMasterKey> given;
    {
        LockScope lock(masterMutex);
        ASSERT_EQ(myContingencyMasterKeys->size(), 2u);
        given = myContingencyMasterKeys->back();
    }
    EXPECT_EQ(given->recipient, kOther);
    EXPECT_EQ(given->ca, kTeam);
    EXPECT_TRUE(given->remoteDirty);
    const Json::Value form = parseJson(given->toJSON(true));
    Json::Value c;
    c["kind"] = "master";
    c["privateKey"] = base64_encode(otherPair().privateKey);
    c["wrapped"] = form["record"]["keymaterial"];
    c["publicKey"] = teamPair().publicKey;
    c["record"] = form["record"];
    c["signature"] = form["signature"];
    EXPECT_EQ(pythonVerdict(only(c)), "valid\n");
    runMaster();
    LockScope lock(masterMutex);
    EXPECT_EQ(myContingencyMasterKeys->size(), 2u);
}

TEST_F(KeyDistribution, ARunOverAManagersListsAddsTheKeysToTheDatasetToo) {
    signInWithPersonalKey();
    runMaster(); // indexes the personal key
    LockScope lock(masterMutex);
    myXPIDs->push_back(identity(kOther, kOtherId, otherPair().publicKey));
    RecordListPtr<Asset> assets = std::make_shared<RecordList<Asset>>(RecordList<Asset>{asset(kShared, kMe)});
    RecordListPtr<AssetRight> rights =
        std::make_shared<RecordList<AssetRight>>(RecordList<AssetRight>{right(kShared, kOther, "allow", kOtherId)});
    auto own = key(kShared, kMe, kMe, 1, encryptSessionKey(generateSessionKey(), userPair().publicKey), 901);
    own->ckeymaterial = "V3-not-checked-here";
    RecordListPtr<AssetKey> keys = std::make_shared<RecordList<AssetKey>>(RecordList<AssetKey>{own});
    RecordListPtr<AssetFeature> features = std::make_shared<RecordList<AssetFeature>>();
    const size_t before = myKeys->size();
    StateProcessor pass(assets, rights, keys, features);
    pass.run(false);
    ASSERT_EQ(keys->size(), 2u);
    EXPECT_EQ(keys->back()->participant, kOther);
    ASSERT_EQ(myKeys->size(), before + 1);
    EXPECT_EQ(myKeys->back(), keys->back());
}

} // namespace
