// Whose key verifies each record class: the service for the kinds it signs, the owner for the
// others, the Asset's signer for rights, asset keys and features, the team's contingency key for
// contingency master keys; a signer that is not known makes the check false, and a look-up of the
// signer that fails is passed on. Look-ups of other identities are answered by the in-process
// transport.
#include <functional>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_transport.h"
#include "support/record_test_support.h"
#include "support/signing_fixture.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;
using VxMeta::testing::LogCapture;
using VxMetaTest::TestKeys;
using VxMetaTest::testKeys;

namespace {

const TestKeys& serviceKeys() {
    static const TestKeys keys = [] {
        TestKeys k;
        generateRSAKeys(k.publicKey, k.privateKey);
        return k;
    }();
    return keys;
}

const TestKeys& otherKeys() {
    static const TestKeys keys = [] {
        TestKeys k;
        generateRSAKeys(k.publicKey, k.privateKey);
        return k;
    }();
    return keys;
}

const char* const otherUrn = "urn:vx:user/other";

// The logged-in user of support/signing_fixture.h, the service key of serviceKeys(), and a transport that
// answers every request 404 until a test says otherwise.
class Signers : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        FakeTransport::answerAll(FakeReply(404, R"({"Message":"not found"})"));
        LockScope lock(masterMutex);
        // Each test looks its identities up afresh.
        lastUserLookup.clear();
        globalState.clear();
        globalState.myPrikey = testKeys().privateKey;
        globalState.mdsPubkey = serviceKeys().publicKey;
        myPID->urn = VxMetaTest::ownUrn;
        myPID->pubkey = testKeys().publicKey;
    }
    void TearDown() override {
        {
            LockScope lock(masterMutex);
            globalState.clear();
        }
        PipelineTest::TearDown();
    }

    static std::vector<std::string> paths() {
        std::vector<std::string> lines;
        for (const CommIO& io : FakeTransport::exchanges()) {
            const std::string url = io.url;
            if (url.find("/etag/0") == std::string::npos && url.find("/clusterInfo") == std::string::npos)
                lines.push_back(url.substr(url.find("/api/v1.0/") + 10));
        }
        return lines;
    }
};

// Renders the record (signed with the logged-in user's key) and, when key is given, signs its
// record text again with that key instead.
template <class T>
void signWith(T& record, const std::string& privateKey = std::string()) {
    record.signature.clear();
    record.toJSON(true);
    if (!privateKey.empty()) record.signature = signTextOther(record.recordText, privateKey);
}

template <class T>
bool verifiesWithoutFailure(T& record) {
    try {
        return record.verifySignature();
    } catch (...) {
        ADD_FAILURE() << "a signature check failed instead of answering false";
        return false;
    }
}

TEST_F(Signers, AssetsOfTheServicesKindsOnlyWithTheServiceKey) {
    const struct {
        const char* kind;
        bool service;
    } kinds[] = {{"groupMaster", true}, {"community", true}, {"TDEKey", true},  {"priv", false},
                 {"@adhoc", false},     {"@securechat", false}, {"GroupMaster", false}, {"TeamGroup", false}};
    for (const auto& k : kinds) {
        EXPECT_EQ(assetIsSignedBySMDS(k.kind), k.service) << k.kind;
        Asset asset;
        asset.owner = VxMetaTest::ownUrn;
        asset.urn = std::string(k.kind) + "-c-own";
        asset.object_kind = k.kind;
        signWith(asset); // by the owner
        EXPECT_EQ(verifiesWithoutFailure(asset), !k.service) << k.kind;
        signWith(asset, serviceKeys().privateKey);
        EXPECT_EQ(verifiesWithoutFailure(asset), k.service) << k.kind;
    }
}

TEST_F(Signers, RightsKeysAndFeaturesVerifyWithTheirAssetsSigner) {
    auto owned = std::make_shared<Asset>();
    owned->owner = VxMetaTest::ownUrn;
    owned->object_kind = "@adhoc";
    auto community = std::make_shared<Asset>();
    community->owner = VxMetaTest::ownUrn;
    community->object_kind = "community";

    AssetRight right;
    right.id = 7;
    right.access = "allow";
    AssetKey key;
    key.id = 8;
    AssetFeature feature;
    feature.id = 9;
    signWith(right);
    signWith(key);
    signWith(feature);

    const struct {
        const char* name;
        std::function<bool()> verify;
        std::function<void(const std::shared_ptr<Asset>&)> link;
        const char* logLine;
    } cases[] = {
        {"right", [&] { return verifiesWithoutFailure(right); }, [&](auto a) { right.assetLink = a; },
         "Unable to get signer for asset right 7 - no matching asset"},
        {"key", [&] { return verifiesWithoutFailure(key); }, [&](auto a) { key.assetLink = a; },
         "Unable to get signer for asset key 8 - no matching asset"},
        {"feature", [&] { return verifiesWithoutFailure(feature); }, [&](auto a) { feature.assetLink = a; },
         "Unable to get signer for asset feature 9 - no matching asset"},
    };
    for (const auto& c : cases) {
        {
            LogCapture log(2);
            c.link(nullptr);
            EXPECT_FALSE(c.verify()) << c.name;
            EXPECT_TRUE(log.contains(c.logLine)) << c.name;
        }
        c.link(owned);
        EXPECT_TRUE(c.verify()) << c.name;
        c.link(community); // signed by the owner, but the service signs this kind
        EXPECT_FALSE(c.verify()) << c.name;
    }
    signWith(right, serviceKeys().privateKey);
    right.assetLink = community;
    EXPECT_TRUE(verifiesWithoutFailure(right));
}

TEST_F(Signers, ASignerThatCannotBeLookedUpPassesTheFailureOn) {
    User user;
    App app;
    AssetRequest request;
    ContingencyKey contingencyKey;
    Asset asset;
    user.owner = app.owner = request.participant = contingencyKey.owner = asset.owner = otherUrn;
    asset.object_kind = "@adhoc";
    signWith(user, otherKeys().privateKey);
    signWith(app, otherKeys().privateKey);
    signWith(request, otherKeys().privateKey);
    signWith(contingencyKey, otherKeys().privateKey);
    signWith(asset, otherKeys().privateKey);
    AssetRight right;
    right.assetLink = std::make_shared<Asset>(asset);
    signWith(right, otherKeys().privateKey);
    // Every record whose signer is looked up: a look-up that fails (here the service does not know
    // the identity) is the caller's to see, so a passing failure never marks a valid record invalid.
    const std::vector<std::pair<const char*, std::function<bool()>>> checks = {
        {"user", [&] { return user.verifySignature(); }},
        {"application", [&] { return app.verifySignature(); }},
        {"request", [&] { return request.verifySignature(); }},
        {"contingency key", [&] { return contingencyKey.verifySignature(); }},
        {"asset", [&] { return asset.verifySignature(); }},
        {"right through its asset", [&] { return right.verifySignature(); }},
    };

    for (const auto& [name, check] : checks) {
        FakeTransport::answerAll(FakeReply(404, R"({"Message":"No such identity"})"));
        try {
            check();
            ADD_FAILURE() << name << ": answered instead of passing the failure on";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.httpStatus, 404) << name;
            EXPECT_EQ(e.message, "No such identity") << name;
        }
        EXPECT_EQ(paths(), std::vector<std::string>{"xpid?urn=urn%3Avx%3Auser%2Fother"}) << name;
    }

    // While the caller holds the master lock nothing is asked, and the check is false.
    {
        FakeTransport::answerAll(FakeReply(404, "{}"));
        LockScope lock(masterMutex);
        EXPECT_FALSE(verifiesWithoutFailure(app));
        EXPECT_TRUE(paths().empty());
    }

    // The service answers the identity, signed with its own key: it joins the directory, and every
    // record of that owner verifies without asking again.
    XPID identity;
    identity.urn = otherUrn;
    identity.pubkey = otherKeys().publicKey;
    identity.id = 31;
    {
        LockScope lock(masterMutex);
        globalState.myPrikey = otherKeys().privateKey;
    }
    const std::string identityReply = identity.toJSON(true);
    {
        LockScope lock(masterMutex);
        globalState.myPrikey = testKeys().privateKey;
    }
    FakeTransport::answerAll(FakeReply(200, identityReply));
    for (const auto& [name, check] : checks) EXPECT_TRUE(check()) << name;
    EXPECT_EQ(paths().size(), 1u);
    ASSERT_EQ(getMyXPIDs()->size(), 1u);
    EXPECT_TRUE(getMyXPIDs()->front()->verifySignature());
}

TEST_F(Signers, AnIdentityLookedUpOnTwoThreadsAtOnceIsHeldOnce) {
    // While this look-up waits for the service, another one of the same identity ends first and
    // adds it to the directory: the directory keeps that one, and this look-up answers it too.
    auto first = std::make_shared<XPID>();
    first->urn = otherUrn;
    first->pubkey = otherKeys().publicKey;
    first->id = 31;
    XPID sent = *first;
    const std::string identityReply = sent.toJSON(true);
    FakeTransport::install([&](const CommIO& io) {
        if (io.url.find("/xpid") == std::string::npos) return FakeReply(404, R"({"Message":"not found"})");
        LockScope lock(masterMutex);
        myXPIDs->push_back(first);
        return FakeReply(200, identityReply);
    });
    EXPECT_EQ(userLookupUrn(otherUrn).get(), first.get());
    ASSERT_EQ(getMyXPIDs()->size(), 1u);
    EXPECT_EQ(pubkeyLookupUrn(otherUrn), otherKeys().publicKey);
    EXPECT_EQ(paths().size(), 1u);
}

TEST_F(Signers, ApplicationDataOfTheServiceAndOfTheUser) {
    AppData datum;
    datum.owner = VxMetaTest::ownUrn;
    const struct {
        const char* kind;
        const std::string* signer;
        bool valid;
    } cases[] = {
        {"MDS", &serviceKeys().privateKey, true}, {"MDS", &testKeys().privateKey, false},
        {"Reader", &testKeys().privateKey, true}, {"Reader", &serviceKeys().privateKey, false},
    };
    for (const auto& c : cases) {
        datum.kind = c.kind;
        signWith(datum, *c.signer);
        EXPECT_EQ(verifiesWithoutFailure(datum), c.valid) << c.kind;
    }
}

TEST_F(Signers, RecordsCheckedWithTheirOwnKeyOrTheUsers) {
    // A team membership without the participant's answer needs no signature.
    CAJoin join;
    join.signature = "V2-nonsense";
    join.recordText = "anything";
    EXPECT_TRUE(verifiesWithoutFailure(join));
    join.userstatus = "allow";
    EXPECT_FALSE(verifiesWithoutFailure(join));
    signWith(join);
    EXPECT_TRUE(verifiesWithoutFailure(join));
    signWith(join, otherKeys().privateKey);
    EXPECT_FALSE(verifiesWithoutFailure(join));

    // Directory records and contingency group members carry the key that checks them, whoever
    // the directory says they are.
    XPID identity;
    identity.pubkey = otherKeys().publicKey;
    signWith(identity, otherKeys().privateKey);
    EXPECT_TRUE(verifiesWithoutFailure(identity));
    ContingencyGroup member;
    member.urn = VxMetaTest::ownUrn; // known to the look-up
    member.pubkey = otherKeys().publicKey;
    signWith(member); // signed by the user, not by the key it carries
    EXPECT_FALSE(verifiesWithoutFailure(member));
    signWith(member, otherKeys().privateKey);
    EXPECT_TRUE(verifiesWithoutFailure(member));

    // Service-signed values: no check without an id or for a kind without a signed value.
    Deployment deployment;
    deployment.signature = "V2-nonsense";
    EXPECT_TRUE(verifiesWithoutFailure(deployment));
    deployment.id = 3;
    EXPECT_FALSE(verifiesWithoutFailure(deployment));
    TeamData datum;
    datum.kind = "Other";
    datum.signature = "V2-nonsense";
    EXPECT_TRUE(verifiesWithoutFailure(datum));
}

std::shared_ptr<TeamData> contingencyDatum(const char* kind, const char* name, int64_t id, const char* extra,
                                           const std::string& value) {
    auto datum = std::make_shared<TeamData>();
    datum->kind = kind;
    datum->name = name;
    datum->id = id;
    datum->extra = extra;
    datum->value = value;
    return datum;
}

TEST_F(Signers, AContingencyMasterKeyVerifiesOnceItsTeamDatumArrives) {
    ContingencyMasterKey key;
    key.recipient = VxMetaTest::ownUrn;
    key.keymaterial = "V2-a|V4-b";
    key.ca = "urn:vx:team/Seven";
    key.signOther(otherKeys().privateKey); // the team's contingency private key
    EXPECT_TRUE(verifyTextNoExceptions(key.recordText, key.signature, otherKeys().publicKey));
    EXPECT_EQ(key.toJSONValue(true)["signature"].asString(), key.signature); // sent as signed
    EXPECT_EQ(key.recordText, R"({"ca":"urn:vx:team/Seven","keymaterial":"V2-a|V4-b","recipient":")" +
                                  std::string(VxMetaTest::ownUrn) + R"(","revision":1})");

    EXPECT_FALSE(verifiesWithoutFailure(key)); // no team datum yet
    const std::string contingencyKey = otherKeys().publicKey;
    const struct {
        const char* name;
        std::shared_ptr<TeamData> datum;
        bool valid;
    } arrivals[] = {
        {"another kind", contingencyDatum("ContingencyX", "Public Key", 4, "urn:vx:team/seven", contingencyKey), false},
        {"another name", contingencyDatum("Contingency", "Key", 4, "urn:vx:team/seven", contingencyKey), false},
        {"no id yet", contingencyDatum("Contingency", "Public Key", 0, "urn:vx:team/seven", contingencyKey), false},
        {"another team", contingencyDatum("Contingency", "Public Key", 4, "urn:vx:team/eight", contingencyKey), false},
        {"the team in other letter case",
         contingencyDatum("Contingency", "Public Key", 5, "URN:VX:TEAM/SEVEN", contingencyKey), true},
    };
    for (const auto& a : arrivals) {
        {
            LockScope lock(masterMutex);
            myTeamDatas->push_back(a.datum);
        }
        EXPECT_EQ(verifiesWithoutFailure(key), a.valid) << a.name;
    }
}

TEST_F(Signers, FeaturesApplyByScope) {
    const std::set<std::string> saved = setForScopes;
    setForScopes = {"3.0", "Reader"};
    const struct {
        const char* scope;
        bool applies;
    } cases[] = {{"", true},     {"3.0", true}, {"2.0,3.0", true}, {"2.0,Reader", true},
                 {"2.0", false}, {"3", false},  {" 3.0", false},   {"reader", false}};
    for (const auto& c : cases) {
        AssetFeature feature;
        feature.scope = c.scope;
        EXPECT_EQ(feature.appliesToMe(), c.applies) << c.scope;
    }
    setForScopes = saved;
}

TEST_F(Signers, ForwardedKeyMaterialReplacesTheKeyMaterialOfTheForwardingIdentity) {
    const struct {
        const char* name;
        const char* forwardingUrn;
        const char* participant;
        const char* forwarded;
        const char* expected;
    } cases[] = {
        {"the forwarding URN", "email!a@example.test", "email!a@example.test", "V2-fw", "V2-fw"},
        {"in other letter case", "email!a@example.test", "EMAIL!A@Example.Test", "V2-fw", "V2-fw"},
        {"another participant", "email!a@example.test", "email!b@example.test", "V2-fw", "V2-km"},
        {"nothing forwarded", "email!a@example.test", "email!a@example.test", "", "V2-km"},
        {"no forwarding URN", "", "", "V2-fw", "V2-km"},
    };
    for (const auto& c : cases) {
        {
            LockScope lock(masterMutex);
            myPID->forwarding_urn = c.forwardingUrn;
        }
        Json::Value reply(Json::objectValue);
        reply["forwarded_keymaterial"] = c.forwarded;
        reply["record"]["participant"] = c.participant;
        reply["record"]["keymaterial"] = "V2-km";
        AssetKey key;
        ASSERT_TRUE(key.update(reply)) << c.name;
        EXPECT_EQ(key.keymaterial, c.expected) << c.name;
        EXPECT_EQ(key.forwarded_keymaterial, c.forwarded) << c.name;
    }
}

} // namespace
