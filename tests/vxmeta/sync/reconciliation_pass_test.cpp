// The reconciliation pass over an in-process dataset: upgrade levels from features, the permission
// word, the upgrade state, request states (with the automatic refusal answered after the pass), the
// user's team, the forwarding datum, the team group's key and the team's contingency key pair; no
// request leaves while the pass holds the master lock.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <openssl/rsa.h>

#include "pass_fixture.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/team_authority.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using namespace VxMetaTest;

namespace {

class ReconciliationPass : public PassTest {
protected:
    void SetUp() override {
        PassTest::SetUp();
        savedScopes = setForScopes;
        savedKnown = knownFeatures;
        setForScopes = {"3.0"};
        knownFeatures = {"Deleted Lockers"};
    }
    void TearDown() override {
        setForScopes = savedScopes;
        knownFeatures = savedKnown;
        PassTest::TearDown();
    }

    static std::shared_ptr<AssetFeature> feature(const std::string& assetUrn, const std::string& compatibility,
                                                 const std::string& name = "Watermark",
                                                 const std::string& scope = "") {
        auto made = std::make_shared<AssetFeature>();
        made->asset = assetUrn;
        made->name = name;
        made->compatibility = compatibility;
        made->scope = scope;
        made->remoteDirty = false;
        return made;
    }
    static std::shared_ptr<AssetRequest> request(const std::string& assetUrn, const std::string& participant) {
        auto made = std::make_shared<AssetRequest>();
        made->asset = assetUrn;
        made->participant = participant;
        made->remoteDirty = false;
        return made;
    }

    std::set<std::string> savedScopes;
    std::set<std::string> savedKnown;
};

TEST_F(ReconciliationPass, FeaturesSetTheUpgradeLevelCompatibilityAndEncryption) {
    struct Case {
        std::vector<std::shared_ptr<AssetFeature>> features;
        int32_t level;
        const char* compatibility;
        bool encrypt;
    };
    const std::string urn = "urn:asset/one";
    const std::vector<Case> cases = {
        {{}, 0, "Fully Compatible", true},
        {{feature(urn, "Optional")}, 1, "Optional Upgrade", true},
        {{feature(urn, "Suggested")}, 2, "Suggested Upgrade", true},
        {{feature(urn, "ReadOnly")}, 3, "Read Only - Upgrade required", false},
        {{feature(urn, "")}, 3, "Read Only - Upgrade required", false},
        {{feature(urn, "Mandatory")}, 4, "Requires Upgrade", false},
        {{feature(urn, "Someday")}, 4, "Requires Upgrade", false},
        {{feature(urn, "Optional"), feature(urn, "ReadOnly", "Stamp")}, 3, "Read Only - Upgrade required", false},
        {{feature(urn, "Mandatory", "Deleted Lockers")}, 0, "Fully Compatible", true},
        {{feature(urn, "Mandatory", "Watermark", "2.0,web")}, 0, "Fully Compatible", true},
        {{feature(urn, "Mandatory", "Watermark", "2.0,3.0")}, 4, "Requires Upgrade", false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const auto held = asset(urn, kMe);
        {
            LockScope lock(masterMutex);
            myAssets->assign({held});
            myFeatures->assign(cases[i].features.begin(), cases[i].features.end());
        }
        runMaster();
        EXPECT_EQ(held->upgradeLevel, cases[i].level);
        EXPECT_EQ(held->compatibility, cases[i].compatibility);
        EXPECT_EQ(held->canEncrypt, cases[i].encrypt);
        for (const auto& f : cases[i].features) {
            const bool counted = f->name != "Deleted Lockers" && f->scope != "2.0,web";
            EXPECT_EQ(f->assetLink == held, counted) << f->name << " " << f->scope;
        }
    }
}

TEST_F(ReconciliationPass, PermissionWordDecidesEncryptionDeletionAndTheOwnEncryptableKeys) {
    struct Case {
        const char* owner;
        const char* kind;
        const char* compatibility; // of one feature; null: none
        bool deleting;
        int32_t word;
        bool encrypt;
        bool remove;
        bool ownEncryptable;
    };
    const char* me = kMe.c_str();
    const char* other = kOther.c_str();
    const std::vector<Case> cases = {
        {me, "file", nullptr, false, 11, true, false, true},
        {other, "file", nullptr, false, 11, true, false, false},
        {me, "priv", nullptr, false, 11, true, false, true},
        {other, "community", nullptr, false, 11, true, false, false},
        {me, "groupMaster", nullptr, false, 11, false, false, false},
        {me, "file", "Suggested", false, 11, true, false, true},
        {me, "file", "ReadOnly", false, 11, false, false, false},
        {me, "file", nullptr, true, 11, true, false, false},
        {me, "file", nullptr, false, 27, true, true, true},
        {me, "priv", nullptr, false, 27, true, false, true},
        {other, "file", nullptr, false, 27, true, false, false},
        {me, "file", "ReadOnly", false, 27, false, false, false},
        {me, "file", "Suggested", false, 27, true, true, true},
        {me, "file", nullptr, false, 0x10, false, true, false},
        {me, "priv", nullptr, false, 0x1, false, false, false},
        {other, "file", nullptr, false, 0x7, false, false, false},
        {other, "community", nullptr, false, 0, true, false, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        const auto held = asset("urn:asset/p", c.owner, c.kind);
        if (c.deleting) held->delete_by = "2030-01-01";
        {
            LockScope lock(masterMutex);
            globalState.satellitePolicy.skey_flag = c.word;
            myAssets->assign({held});
            myFeatures->clear();
            if (c.compatibility) myFeatures->push_back(feature(held->urn, c.compatibility));
        }
        const auto pass = runMaster();
        EXPECT_EQ(held->canEncrypt, c.encrypt);
        EXPECT_EQ(held->canDelete, c.remove);
        EXPECT_EQ(pass->ownEncryptable.find(held->urn) != nullptr, c.ownEncryptable);
    }
}

TEST_F(ReconciliationPass, OnlyAPassOverTheGlobalAssetsLowersTheUpgradeState) {
    const auto held = asset("urn:asset/u", kMe);
    {
        LockScope lock(masterMutex);
        myAssets->assign({held});
        myFeatures->assign({feature(held->urn, "Optional")});
        globalState.upgradeState = 4;
    }
    {
        // The single-key manager's lists: copies of the holders.
        LockScope lock(masterMutex);
        RecordListPtr<Asset> assets = std::make_shared<RecordList<Asset>>(*myAssets);
        RecordListPtr<AssetRight> rights = std::make_shared<RecordList<AssetRight>>();
        RecordListPtr<AssetKey> keys = std::make_shared<RecordList<AssetKey>>();
        RecordListPtr<AssetFeature> features = std::make_shared<RecordList<AssetFeature>>(*myFeatures);
        StateProcessor pass(assets, rights, keys, features);
        pass.run(false);
        EXPECT_EQ(held->upgradeLevel, 1);
        EXPECT_EQ(globalState.upgradeState, 4);
    }
    runMaster();
    EXPECT_EQ(globalState.upgradeState, 1);
    {
        LockScope lock(masterMutex);
        myFeatures->clear();
    }
    runMaster();
    EXPECT_EQ(globalState.upgradeState, 0);
}

TEST_F(ReconciliationPass, RequestStatesAndTheRefusalOfARequestForAKeyBeingDeleted) {
    signIn();
    const std::string third = "urn:vx:user/third";
    const auto mine = asset("urn:asset/mine", kMe);
    const auto theirs = asset("urn:asset/theirs", kOther);
    const auto going = asset("urn:asset/going", kMe);
    going->delete_by = "2030-01-01";
    struct Case {
        std::shared_ptr<AssetRequest> request;
        const char* status;
    };
    const std::vector<Case> cases = {
        {request(theirs->urn, kMe), "delete"},          // granted: the right exists
        {request("urn:asset/elsewhere", kMe), "waiting"},
        {request(mine->urn, kOther), "answered"},       // the owner answered with a right
        {request(theirs->urn, third), "pending"},       // not the user's key
        {request("urn:asset/unknown", third), "pending"},
        {request(mine->urn, third), "notify"},
    };
    const auto refused = request(going->urn, third);
    {
        LockScope lock(masterMutex);
        myAssets->assign({mine, theirs, going});
        myRights->assign({right(theirs->urn, kMe, "allow"), right(mine->urn, kOther, "deny")});
        for (const Case& c : cases) myRequests->push_back(c.request);
        myRequests->push_back(refused);
    }
    const auto pass = runMaster();
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].request->status, cases[i].status) << i;
    EXPECT_EQ(cases[0].request->assetLink, theirs);
    EXPECT_EQ(cases[4].request->assetLink, nullptr);
    EXPECT_EQ(pass->toDelete->size(), 1u);
    EXPECT_EQ(pass->waiting->size(), 1u);
    EXPECT_EQ(pass->answered->size(), 1u);
    EXPECT_EQ(pass->toNotify->size(), 1u);

    // The refusal: answered "deny" after the pass, a new unsent right, the request gone.
    EXPECT_TRUE(pass->isChanged());
    EXPECT_EQ(refused->status, "answered");
    LockScope lock(masterMutex);
    EXPECT_EQ(std::count(myRequests->begin(), myRequests->end(), refused), 0);
    ASSERT_EQ(myRights->size(), 3u);
    const auto denial = myRights->back();
    EXPECT_EQ(denial->asset, going->urn);
    EXPECT_EQ(denial->participant, third);
    EXPECT_EQ(denial->owner, kMe);
    EXPECT_EQ(denial->access, "deny");
    EXPECT_TRUE(denial->remoteDirty);
    EXPECT_EQ(denial->assetLink, going);
}

TEST_F(ReconciliationPass, WithoutAUserTheRefusalWaitsForALaterPass) {
    const auto going = asset("urn:asset/going", kMe);
    going->delete_by = "2030-01-01";
    const auto refused = request(going->urn, kOther);
    {
        LockScope lock(masterMutex);
        myAssets->assign({going});
        myRequests->assign({refused});
    }
    runMaster();
    LockScope lock(masterMutex);
    EXPECT_EQ(myRequests->size(), 1u);
    EXPECT_TRUE(myRights->empty());
}

TEST_F(ReconciliationPass, TheSingleKeyManagersPassRefusesOnceItHasReleasedTheLock) {
    signIn();
    const auto going = asset("urn:asset/going", kMe);
    going->delete_by = "2030-01-01";
    const auto refused = request(going->urn, kOther);
    SingleAssetManager manager;
    {
        LockScope lock(masterMutex);
        myAssets->assign({going});
        myRequests->assign({refused});
        manager.asset = going;
        manager.assets->assign({going});
    }
    manager.examineState();
    EXPECT_EQ(refused->status, "answered");
    LockScope lock(masterMutex);
    EXPECT_TRUE(myRequests->empty());
    ASSERT_EQ(myRights->size(), 1u);
    EXPECT_EQ(myRights->front()->participant, kOther);
    EXPECT_EQ(myRights->front()->access, "deny");
}

TEST_F(ReconciliationPass, TheUsersTeamComesFromTheUserRecordElseFromAFullMembership) {
    struct Case {
        int32_t userTeam;
        const char* teamstatus; // of one join the user said "allow" to; null: no join
        const char* ca;
        int32_t teamId;
    };
    const std::vector<Case> cases = {
        {5, nullptr, "urn:team/user", 5},
        {5, "allow", "urn:team/user", 5},
        {0, "allow", "urn:team/join", 9},
        {0, "deny", "", 0},
        {0, "", "", 0},
        {0, nullptr, "", 0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        {
            LockScope lock(masterMutex);
            myUser->team_id = cases[i].userTeam;
            myUser->ca = "urn:team/user";
            globalState.caUrn = "urn:team/stale";
            globalState.teamId = 77;
            myCAJoins->clear();
            if (cases[i].teamstatus) {
                auto join = std::make_shared<CAJoin>();
                join->ca = join->caurn = "urn:team/join";
                join->userstatus = "allow";
                join->teamstatus = cases[i].teamstatus;
                join->team_id = 9;
                myCAJoins->push_back(join);
            }
        }
        runMaster();
        LockScope lock(masterMutex);
        EXPECT_EQ(globalState.caUrn, cases[i].ca);
        EXPECT_EQ(globalState.teamId, cases[i].teamId);
    }
}

TEST_F(ReconciliationPass, ForwardingUrnFromTheDatumOrANewDatumInLowerCase) {
    signInWithPersonalKey();
    // The first pass after the sign-in finds the personal key, the next one makes the datum.
    runMaster();
    {
        LockScope lock(masterMutex);
        EXPECT_TRUE(myAppDatas->empty());
    }
    auto pass = runMaster();
    EXPECT_FALSE(pass->isChanged()) << "the new datum waits for the next push without asking for one";
    std::shared_ptr<AppData> datum;
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(myPID->forwarding_urn, "email!me@example.test");
        EXPECT_TRUE(myPID->localDirty);
        ASSERT_EQ(myAppDatas->size(), 1u);
        datum = myAppDatas->front();
        EXPECT_EQ(datum->kind, "VxMetaClient");
        EXPECT_EQ(datum->owner, kMe);
        EXPECT_EQ(datum->name, "forwarding_urn");
        EXPECT_EQ(datum->value, "email!me@example.test");
        EXPECT_TRUE(datum->remoteDirty);
        EXPECT_EQ(pass->forwardingUrn, "email!me@example.test");
        // Another device moved the forwarding address.
        datum->value = "email!moved@example.test";
        myPID->localDirty = false;
    }
    pass = runMaster();
    LockScope lock(masterMutex);
    EXPECT_EQ(myPID->forwarding_urn, "email!moved@example.test");
    EXPECT_TRUE(myPID->localDirty);
    EXPECT_EQ(myAppDatas->size(), 1u);
    EXPECT_EQ(pass->forwardingUrn, "email!moved@example.test");
}

TEST_F(ReconciliationPass, TeamGroupKeyOpensForTheTeamOfTheUser) {
    signIn();
    const std::string group = "urn:vx:group/team";
    auto authority = std::make_shared<TeamAuthority>();
    authority->caid = "urn:team/t";
    authority->team_group_urn = group;
    auto other = std::make_shared<TeamAuthority>();
    other->caid = "urn:team/other";
    other->team_group_urn = "urn:vx:group/other";
    const auto groupKey = key("urn:asset/unknown", group, kMe, 1, encryptMasterKey(groupPair().privateKey,
                                                                                    userPair().publicKey));
    {
        LockScope lock(masterMutex);
        myUser->team_id = 3;
        myUser->ca = "urn:team/t";
        myTeamAuthorities->assign({other, authority});
        myKeys->push_back(groupKey);
    }
    runMaster();
    LockScope lock(masterMutex);
    EXPECT_EQ(globalState.teamGroupUrn, group);
    EXPECT_EQ(globalState.teamGroupPrikey, groupPair().privateKey);
    EXPECT_TRUE(groupKey->allowed) << "a key of the team group is allowed, its asset unknown or not";
}

TEST_F(ReconciliationPass, TeamContingencyKeyPairIsMadeWrappedForTheUserAndSigned) {
    signInWithPersonalKey();
    auto datum = std::make_shared<TeamData>();
    datum->kind = "Contingency";
    datum->name = "Public Key";
    datum->extra = "urn:team/t";
    datum->team_id = 3;
    datum->remoteDirty = false;
    {
        LockScope lock(masterMutex);
        myTeamDatas->push_back(datum);
    }
    const auto pass = runMaster();
    EXPECT_TRUE(pass->isChanged());
    EXPECT_TRUE(datum->remoteDirty);
    ASSERT_TRUE(startswith(datum->value, "V2-"));
    ContingencyMasterKey made;
    ASSERT_TRUE(made.fromJSON(datum->extra));
    EXPECT_EQ(made.ca, "urn:team/t");
    EXPECT_EQ(made.recipient, kMe);
    // The wrapped private key is the one of the published public key, and it signed the record.
    const std::string privateKey = decryptMasterKey(made.keymaterial);
    EXPECT_TRUE(verifyText(made.recordText, made.signature, datum->value));
    EXPECT_EQ(RSAdecryptOther(encryptSessionKey("probe", datum->value), privateKey, RSA_PKCS1_OAEP_PADDING), "probe");

    // Made once: the datum now waits for the push.
    const std::string value = datum->value;
    runMaster();
    EXPECT_EQ(datum->value, value);
}

TEST_F(ReconciliationPass, AFailedContingencyKeyCheckLeavesTheDatumAsItWas) {
    signInWithPersonalKey();
    auto datum = std::make_shared<TeamData>();
    datum->kind = "Contingency";
    datum->name = "Public Key";
    datum->extra = "urn:team/t";
    datum->value = "V2-old";
    datum->remoteDirty = false;
    datum->localDirty = false;
    {
        LockScope lock(masterMutex);
        myTeamDatas->push_back(datum);
        // The identity's public key is not the held private key's: the round trip cannot succeed.
        myPID->pubkey = otherPair().publicKey;
    }
    EXPECT_THROW(runMaster(), VxMetaException);
    EXPECT_EQ(datum->value, "V2-old");
    EXPECT_EQ(datum->extra, "urn:team/t");
    EXPECT_FALSE(datum->remoteDirty);
    EXPECT_FALSE(datum->localDirty);
}

TEST_F(ReconciliationPass, PoliciesAreCheckedBeforeTheMasterLockIsTaken) {
    // A policy whose signature does not check is read again from the service: without the lock.
    auto policy = std::make_shared<TeamData>();
    policy->kind = "Satellite Policy";
    policy->name = "policy";
    policy->value = "{\"skey_flag\":27}";
    policy->signature = "V2-bad";
    policy->id = 31;
    policy->remoteDirty = false;
    {
        LockScope lock(masterMutex);
        myTeamDatas->push_back(policy);
    }
    Json::Value same;
    same["id"] = 31;
    same["kind"] = "Satellite Policy";
    same["name"] = "policy";
    same["value"] = policy->value;
    same["signature"] = "V2-bad";
    service->on("GET teamdata/31/", same);
    std::vector<int> depths;
    service->onRequest = [&](const std::string&) { depths.push_back(masterLockDepth()); };
    runMaster();
    ASSERT_FALSE(depths.empty());
    for (int depth : depths) EXPECT_EQ(depth, 0);
    const std::vector<std::string> requests = service->requests();
    EXPECT_NE(std::count(requests.begin(), requests.end(), "GET teamdata/31/"), 0);
}

} // namespace
