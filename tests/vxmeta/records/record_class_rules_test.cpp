// How the new record classes read service copies (members read only when present, members that
// only the local form writes), merge them (what each class keeps), change (who keeps a signature)
// and hand out views without client-only or secret members.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/record_test_support.h"
#include "support/signing_fixture.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/login_parameters.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/satellite_policy.h"
#include "vxmeta/records/server.h"
#include "vxmeta/records/signature_request.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMetaTest::json;

namespace {

class RecordClassRules : public VxMetaTest::LoggedInUser {};

template <class T>
T readFrom(const std::string& reply) {
    T record;
    EXPECT_TRUE(record.update(std::string(reply))) << reply;
    return record;
}

template <class F>
VxMetaException failureOf(F&& call) {
    try {
        call();
    } catch (const VxMetaException& e) {
        return e;
    }
    return VxMetaException("none", "no failure");
}

TEST_F(RecordClassRules, MembersReadOnlyWhenPresent) {
    // Asset "compatibility" and AssetKey "allowed" are this client's: a service copy leaves them.
    Asset asset;
    asset.compatibility = "Optional Upgrade";
    ASSERT_TRUE(asset.update(std::string(R"({"id":4,"record":{"urn":"u"}})")));
    EXPECT_EQ(asset.compatibility, "Optional Upgrade");
    ASSERT_TRUE(asset.update(std::string(R"({"id":4,"compatibility":"Requires Upgrade","record":{}})")));
    EXPECT_EQ(asset.compatibility, "Requires Upgrade");

    AssetKey key;
    key.allowed = true;
    ASSERT_TRUE(key.update(std::string(R"({"id":4,"record":{}})")));
    EXPECT_TRUE(key.allowed);

    // The association value of a pair likewise; its secret is read whether present or not.
    MFAPair pair;
    pair.associationValue = "av";
    pair.secret = "s";
    ASSERT_TRUE(pair.update(std::string(R"({"id":1,"kind":"TOTP"})")));
    EXPECT_EQ(pair.associationValue, "av");
    EXPECT_EQ(pair.secret, "");

    // A policy names only some members: the others stay.
    SatellitePolicy policy = readFrom<SatellitePolicy>("{}");
    EXPECT_EQ(policy.toJSON(true), SatellitePolicy().toJSON(true));
    policy = readFrom<SatellitePolicy>(R"({"skey_flag":3})");
    EXPECT_EQ(policy.skey_flag, 3);
    EXPECT_EQ(policy.offline_access_hours, 24);
    EXPECT_EQ(policy.ma_credential_interval_minutes, 15);
    EXPECT_TRUE(policy.persist_metadata);
    EXPECT_TRUE(policy.persist_credentials);
    EXPECT_EQ(policy.recipients_lookup_max, 25);
    EXPECT_EQ(policy.version, "");
    ASSERT_TRUE(policy.update(std::string(R"({"version":"2.0","persist_metadata":false})")));
    EXPECT_EQ(policy.skey_flag, 3);
    EXPECT_FALSE(policy.persist_metadata);
    EXPECT_EQ(policy.version, "2.0");

    // The policy in force starts with the defaults and gets them back when the state is cleared.
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(globalState.satellitePolicy.toJSON(true), SatellitePolicy().toJSON(true));
        globalState.satellitePolicy = policy;
        globalState.clear();
        EXPECT_EQ(globalState.satellitePolicy.skey_flag, 11);
        globalState.myPrikey = VxMetaTest::testKeys().privateKey;
    }

    // Every other member is read whether present or not.
    TeamData datum;
    datum.extra = "x";
    ASSERT_TRUE(datum.update(std::string(R"({"id":1,"kind":"k"})")));
    EXPECT_EQ(datum.extra, "");

    // Members that only the local form writes are still read from a service copy.
    App app = readFrom<App>(R"({"id":1,"deployid":5,"ownerid":6,"record":{"name":"Reader"}})");
    EXPECT_EQ(app.deployid, 5);
    EXPECT_EQ(app.ownerid, 6);
    EXPECT_FALSE(app.toJSONValue(true).isMember("deployid"));
    EXPECT_EQ(readFrom<App>(R"({"id":1,"record":{}})").deployid, 0);

    Upload upload = readFrom<Upload>("{}");
    EXPECT_EQ(upload.toJSON(true), Upload().toJSON(true));
    EXPECT_EQ(upload.uploaded_size + upload.id, 0);
}

TEST_F(RecordClassRules, NestedMigrationServer) {
    LoginParameters parameters;
    parameters.migrationServer.name = "s1";
    parameters.migrationServer.authorization = json(R"({"a":1})");
    ASSERT_TRUE(parameters.update(std::string(R"({"urn":"u"})")));
    EXPECT_EQ(parameters.migrationServer.name, "s1"); // absent: kept

    ASSERT_TRUE(parameters.update(std::string(R"({"urn":"u","migrationServer":{}})")));
    EXPECT_EQ(parameters.migrationServer.name, "");
    EXPECT_TRUE(parameters.migrationServer.authorization.isNull());

    ASSERT_TRUE(parameters.update(std::string(
        R"({"migrationRequired":true,"migrationServer":{"name":"s2","url":"https://s2","authorization":[1]}})")));
    EXPECT_TRUE(parameters.migrationRequired);
    EXPECT_EQ(parameters.migrationServer.name, "s2");
    EXPECT_EQ(parameters.migrationServer.url, "https://s2");
    EXPECT_EQ(parameters.migrationServer.authorization, json("[1]"));
    EXPECT_FALSE(parameters.toJSONValue(false)["migrationServer"].isMember("remoteDirty"));

    const VxMetaException e = failureOf([&] { parameters.update(std::string(R"({"migrationServer":"s3"})")); });
    EXPECT_EQ(e.category, VXMECAT_PROTOCOL);
    EXPECT_EQ(parameters.migrationServer.name, "s2"); // a failed read changes nothing

    // Server documents are compared as JSON, nested members included.
    Server a = readFrom<Server>(R"({"name":"s","authorization":{"x":{"y":1}}})");
    Server b = readFrom<Server>(R"({"name":"s","authorization":{"x":{"y":2}}})");
    EXPECT_TRUE(a != b);
    LoginParameters first, second;
    second.migrationServer = b;
    EXPECT_TRUE(first != second);
}

TEST_F(RecordClassRules, ValuesOfTheWrongTypeAreProtocolFailures) {
    const struct {
        const char* name;
        std::function<bool()> read;
    } cases[] = {
        {"an object as the record text of a signature request",
         [] { return SignatureRequest().update(std::string(R"({"kind":"k","record":{"a":1}})")); }},
        {"a text as an upload size", [] { return Upload().update(std::string(R"({"expect_size":"big"})")); }},
        {"an array as a pair's kind", [] { return MFAPair().update(std::string(R"({"kind":[1]})")); }},
        {"an object as a deployment id", [] { return Deployment().update(std::string(R"({"id":{}})")); }},
        {"a key sequence beyond int", [] {
             return AssetKey().update(std::string(R"({"record":{"keysequence":4294967296}})"));
         }},
    };
    for (const auto& c : cases) {
        const VxMetaException e = failureOf(c.read);
        EXPECT_EQ(e.category, VXMECAT_PROTOCOL) << c.name;
    }
    SignatureRequest request;
    request.kind = "before";
    EXPECT_THROW(request.update(std::string(R"({"kind":"k","record":{"a":1}})")), VxMetaException);
    EXPECT_EQ(request.kind, "before");
}

TEST_F(RecordClassRules, MergesKeepWhatTheClientDerives) {
    auto linked = std::make_shared<Asset>();

    // Asset: a copy that differs only in the compatibility is equal; the derived members are kept.
    Asset held = readFrom<Asset>(R"({"id":4,"record":{"urn":"u","name":"old"}})");
    held.compatibility = "Suggested Upgrade";
    held.canEncrypt = true;
    held.canDelete = true;
    held.upgradeLevel = 2;
    held.localDirty = false;
    held.remoteDirty = true;
    Asset same = readFrom<Asset>(R"({"id":4,"compatibility":"x","record":{"urn":"u","name":"old"}})");
    held.copyUpdate(same);
    EXPECT_FALSE(held.localDirty);
    EXPECT_FALSE(held.remoteDirty);
    EXPECT_EQ(held.compatibility, "Suggested Upgrade");
    Asset renamed = readFrom<Asset>(R"({"id":4,"record":{"urn":"u","name":"new"}})");
    held.copyUpdate(renamed);
    EXPECT_EQ(held.name, "new");
    EXPECT_TRUE(held.localDirty);
    EXPECT_EQ(held.compatibility, "Suggested Upgrade");
    EXPECT_TRUE(held.canEncrypt);
    EXPECT_TRUE(held.canDelete);
    EXPECT_EQ(held.upgradeLevel, 2);

    // AssetKey keeps "allowed" and its link, even when the copy's "allowed" differs.
    AssetKey key = readFrom<AssetKey>(R"({"id":1,"allowed":true,"record":{"keysequence":1}})");
    key.assetLink = linked;
    AssetKey keyCopy = readFrom<AssetKey>(R"({"id":1,"allowed":false,"record":{"keysequence":1}})");
    EXPECT_FALSE(key != keyCopy);
    keyCopy = readFrom<AssetKey>(R"({"id":1,"allowed":false,"record":{"keysequence":2}})");
    key.copyUpdate(keyCopy);
    EXPECT_EQ(key.keysequence, 2);
    EXPECT_TRUE(key.allowed);
    EXPECT_EQ(key.assetLink, linked);

    AssetRight right = readFrom<AssetRight>(R"({"id":1,"record":{"access":"allow"}})");
    right.assetLink = linked;
    AssetRight rightCopy = readFrom<AssetRight>(R"({"id":1,"record":{"access":"deny"}})");
    right.copyUpdate(rightCopy);
    EXPECT_EQ(right.access, "deny");
    EXPECT_EQ(right.assetLink, linked);

    AssetRequest request = readFrom<AssetRequest>(R"({"id":1,"record":{"asset":"A"}})");
    request.assetLink = linked;
    request.status = "waiting";
    request.originator = true;
    AssetRequest requestCopy = readFrom<AssetRequest>(R"({"id":1,"record":{"asset":"B"}})");
    request.copyUpdate(requestCopy);
    EXPECT_EQ(request.asset, "B");
    EXPECT_EQ(request.status, "waiting");
    EXPECT_EQ(request.assetLink, linked);
    EXPECT_TRUE(request.originator);

    AssetFeature feature = readFrom<AssetFeature>(R"({"id":1,"record":{"value":"a"}})");
    feature.assetLink = linked;
    AssetFeature featureCopy = readFrom<AssetFeature>(R"({"id":1,"record":{"value":"b"}})");
    feature.copyUpdate(featureCopy);
    EXPECT_EQ(feature.value, "b");
    EXPECT_EQ(feature.assetLink, linked);

    // App keeps the deployment it was linked to.
    auto deployment = std::make_shared<Deployment>();
    App app = readFrom<App>(R"({"id":1,"deployid":2,"record":{"version":"1"}})");
    app.deployment = deployment;
    App appCopy = readFrom<App>(R"({"id":1,"deployid":3,"record":{"version":"2"}})");
    app.copyUpdate(appCopy);
    EXPECT_EQ(app.version, "2");
    EXPECT_EQ(app.deployid, 3);
    EXPECT_EQ(app.deployment, deployment);
}

TEST_F(RecordClassRules, PairMergesKeepTheSecretMaterial) {
    auto heldPair = [] {
        MFAPair pair = readFrom<MFAPair>(R"({"id":3,"kind":"TOTP","name":"phone","enabled":true})");
        pair.secret = "s";
        pair.token = "t";
        pair.associationValue = "av";
        pair.originator = true;
        pair.localDirty = false;
        pair.remoteDirty = true;
        return pair;
    };
    // A copy that differs only in the secret material changes nothing.
    MFAPair held = heldPair();
    MFAPair secretsOnly = readFrom<MFAPair>(
        R"({"id":3,"kind":"TOTP","name":"phone","enabled":true,"secret":"x","token":"y","associationValue":"z"})");
    EXPECT_FALSE(held != secretsOnly);
    held.copyUpdate(secretsOnly);
    EXPECT_EQ(held.secret, "s");
    EXPECT_FALSE(held.localDirty);
    EXPECT_FALSE(held.remoteDirty);

    // Another name is taken; the secret material and the originator stay.
    held = heldPair();
    MFAPair renamed = readFrom<MFAPair>(R"({"id":3,"kind":"TOTP","name":"tablet","enabled":true})");
    held.copyUpdate(renamed);
    EXPECT_EQ(held.name, "tablet");
    EXPECT_EQ(held.secret, "s");
    EXPECT_EQ(held.token, "t");
    EXPECT_EQ(held.associationValue, "av");
    EXPECT_TRUE(held.originator);
    EXPECT_TRUE(held.localDirty);

    // Two policies never differ, so a merge changes no member.
    SatellitePolicy policy;
    SatellitePolicy other = readFrom<SatellitePolicy>(R"({"skey_flag":1,"version":"9"})");
    EXPECT_FALSE(policy != other);
    policy.copyUpdate(other);
    EXPECT_EQ(policy.skey_flag, 11);
    EXPECT_EQ(policy.version, "");
    EXPECT_FALSE(policy.remoteDirty);
}

TEST_F(RecordClassRules, ViewsLeaveOutWhatCallersMustNotSee) {
    // Pairs: no secret or token.
    auto pairs = std::make_shared<RecordList<MFAPair>>();
    for (int i = 1; i <= 3; ++i) {
        auto pair = std::make_shared<MFAPair>(
            readFrom<MFAPair>(R"({"id":)" + std::to_string(i) + R"(,"kind":"TOTP","created_at":"c","enabled":true})"));
        pair->secret = "s";
        pair->token = "t";
        pair->associationValue = "av";
        pairs->push_back(pair);
    }
    RecordListPtr<MFAPair> views = copyViewList(pairs);
    ASSERT_EQ(views->size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const MFAPair& view = *(*views)[i];
        EXPECT_NE((*views)[i], (*pairs)[i]);
        EXPECT_EQ(view.id, static_cast<int64_t>(i + 1));
        EXPECT_EQ(view.secret, "");
        EXPECT_EQ(view.token, "");
        EXPECT_EQ(view.associationValue, "av");
        EXPECT_EQ(view.created_at, "c");
        EXPECT_TRUE(view.enabled);
        EXPECT_EQ((*pairs)[i]->secret, "s");
    }
    EXPECT_TRUE(copyViewList(std::make_shared<RecordList<MFAPair>>())->empty());
    MFAPair ownSecrets;
    ownSecrets.secret = "mine";
    copyView(ownSecrets, *(*pairs)[0]);
    EXPECT_EQ(ownSecrets.secret, "mine");

    // Keys: the name, kind, flags, lifetimes and ids; not the owner, cookie or signature.
    auto assets = std::make_shared<RecordList<Asset>>();
    auto asset = std::make_shared<Asset>(readFrom<Asset>(
        R"({"id":4,"ownerid":5,"keyRotation":1,"keyRetirement":2,"keyDestruction":3,"homeServer":"h",
            "compatibility":"Optional Upgrade","signature":"V2-s","record":{"owner":"o","name":"k","urn":"u",
            "object_kind":"@adhoc","object_cookie":"c","revision":4}})"));
    asset->canEncrypt = true;
    asset->upgradeLevel = 3;
    assets->push_back(asset);
    const RecordListPtr<Asset> assetViews = copyViewList(assets);
    const Asset& assetView = *assetViews->front();
    EXPECT_EQ(assetView.name, "k");
    EXPECT_EQ(assetView.urn, "u");
    EXPECT_EQ(assetView.object_kind, "@adhoc");
    EXPECT_TRUE(assetView.canEncrypt);
    EXPECT_FALSE(assetView.canDelete);
    EXPECT_EQ(assetView.keyRotation + assetView.keyRetirement + assetView.keyDestruction, 6);
    EXPECT_EQ(assetView.id, 4);
    EXPECT_EQ(assetView.ownerid, 5);
    EXPECT_EQ(assetView.owner, "");
    EXPECT_EQ(assetView.object_cookie, "");
    EXPECT_EQ(assetView.signature, "");
    EXPECT_EQ(assetView.compatibility, "");
    EXPECT_EQ(assetView.homeServer, "");
    EXPECT_EQ(assetView.upgradeLevel, 0);
    EXPECT_EQ(assetView.revision, 1);
    EXPECT_TRUE(assetView.localDirty && assetView.remoteDirty);

    // Team data: no team id or signature.
    auto data = std::make_shared<RecordList<TeamData>>();
    data->push_back(std::make_shared<TeamData>(readFrom<TeamData>(
        R"({"id":2,"team_id":7,"kind":"k","name":"n","value":"v","extra":"e","signature":"V2-s","updated_at":"u",
            "created_at":"c"})")));
    const RecordListPtr<TeamData> datumViews = copyViewList(data);
    const TeamData& datumView = *datumViews->front();
    EXPECT_EQ(datumView.team_id, 0);
    EXPECT_EQ(datumView.signature, "");
    EXPECT_EQ(datumView.extra, "");
    EXPECT_EQ(datumView.created_at, "");
    EXPECT_EQ(datumView.updated_at, "u");
    EXPECT_EQ(datumView.value, "v");
    EXPECT_EQ(datumView.id, 2);

    // Directory records: no times, signature, team or home id.
    auto identities = std::make_shared<RecordList<XPID>>();
    identities->push_back(std::make_shared<XPID>(readFrom<XPID>(
        R"({"id":3,"kind":2,"owning_team_id":7,"homeServer":"h","homeId":9,"created_at":"c","signature":"V2-s",
            "record":{"urn":"x","name":"n","email":"e","pubkey":"V2-k","url":"w","revision":5}})")));
    const RecordListPtr<XPID> identityViews = copyViewList(identities);
    const XPID& identityView = *identityViews->front();
    EXPECT_EQ(identityView.urn + identityView.name + identityView.email + identityView.pubkey + identityView.url,
              "xneV2-kw");
    EXPECT_EQ(identityView.kind, 2);
    EXPECT_EQ(identityView.homeServer, "h");
    EXPECT_EQ(identityView.id, 3);
    EXPECT_EQ(identityView.owning_team_id, 0);
    EXPECT_EQ(identityView.homeId, 0);
    EXPECT_EQ(identityView.signature, "");
    EXPECT_EQ(identityView.recordText, "");
    EXPECT_EQ(identityView.revision, 1);

    // Notices: everything but the auxiliary text.
    Notification notice = readFrom<Notification>(
        R"({"urn":"abc","mode":"m","type":"t","message":"x","action1":"a","action2":"b","aux":"secret","id":3})");
    Notification noticeView;
    copyView(noticeView, notice);
    EXPECT_EQ(noticeView.aux, "");
    noticeView.aux = notice.aux;
    EXPECT_FALSE(noticeView != notice);
}

TEST_F(RecordClassRules, ChangesAndSignatures) {
    // Service-signed records keep their signature through a local change; the revision is in no form.
    Deployment deployment = readFrom<Deployment>(R"({"id":4,"signature":"V2-s"})");
    deployment.changed();
    EXPECT_EQ(deployment.signature, "V2-s");
    EXPECT_EQ(deployment.revision, 2);
    EXPECT_EQ(deployment.toJSON(false).find("revision"), std::string::npos);
    TeamData datum = readFrom<TeamData>(R"({"id":4,"signature":"V2-s"})");
    datum.changed();
    EXPECT_EQ(datum.signature, "V2-s");
    EXPECT_EQ(datum.toJSON(false).find("revision"), std::string::npos);

    // A client-signed record is signed again after a change; unchanged, it sends its record text as held.
    AssetKey key;
    key.asset = "A";
    const std::string first = key.toJSON(true);
    EXPECT_EQ(key.toJSON(true), first);
    const std::string firstText = key.recordText;
    key.changed();
    EXPECT_EQ(key.signature, "");
    Json::Value second = key.toJSONValue(true);
    EXPECT_EQ(second["record"]["revision"].asInt(), 2);
    EXPECT_NE(key.recordText, firstText);
    EXPECT_FALSE(second["signature"].asString().empty());
}

} // namespace
