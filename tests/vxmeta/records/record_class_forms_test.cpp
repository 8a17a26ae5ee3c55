// The server and local forms of the record classes of deployments, applications, directory, team
// membership, application and team data, managed keys, contingency, uploads, MFA pairs, team
// authorities, the client policy and the service replies, from one table of small fixtures; the
// local form reads back whole; and their identities (id text, URN, record path).
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/record_test_support.h"
#include "support/signing_fixture.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/chat_message.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/data_memo.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/login_parameters.h"
#include "vxmeta/records/login_reset_response.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/satellite_policy.h"
#include "vxmeta/records/server.h"
#include "vxmeta/records/signature_request.h"
#include "vxmeta/records/team_authority.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/xpid.h"

using namespace VxMeta;
using VxMetaTest::canonical;
using VxMetaTest::json;
using VxMetaTest::testKeys;

namespace {

class RecordClassForms : public VxMetaTest::LoggedInUser {};

// A form with the client's signature of a signed record replaced by "<signed>", after checking that
// it signs the record text with the logged-in user's key.
std::string normalized(VxMetadata& record, bool forServer) {
    Json::Value form = record.toJSONValue(forServer);
    if (form.isMember("record") && form["record"].isObject()) {
        EXPECT_TRUE(verifyTextNoExceptions(record.recordText, form["signature"].asString(), testKeys().publicKey));
        EXPECT_EQ(record.recordText, jsonString(form["record"]));
        form["signature"] = "<signed>";
    }
    return jsonString(form);
}

std::string withBaseFlags(const std::string& localForm) {
    Json::Value value = json(localForm);
    value["remoteDirty"] = true;
    value["originator"] = false;
    return jsonString(value);
}

struct FormCase {
    const char* name;
    std::function<std::shared_ptr<VxMetadata>()> blank;
    std::function<std::shared_ptr<VxMetadata>()> make;
    std::string server;
    std::string local; // without "remoteDirty" and "originator"
};

template <class T>
std::function<std::shared_ptr<VxMetadata>()> blankOf() {
    return [] { return std::make_shared<T>(); };
}

template <class T>
std::function<std::shared_ptr<VxMetadata>()> made(std::function<void(T&)> fill) {
    return [fill] {
        auto record = std::make_shared<T>();
        fill(*record);
        return record;
    };
}

const std::string own = VxMetaTest::ownUrn;

const FormCase formCases[] = {
    {"Deployment", blankOf<Deployment>(), made<Deployment>([](Deployment& d) {
         d.id = 4; d.created_at = "c"; d.updated_at = "u"; d.name = "Reader"; d.platform_type = "Linux";
         d.upgrade_info = "none"; d.version = "2.1"; d.signature = "V2-s";
     }),
     R"({"id":4,"name":"Reader","platform_type":"Linux","upgrade_info":"none","version":"2.1","signature":"V2-s"})",
     R"({"id":4,"created_at":"c","updated_at":"u","name":"Reader","platform_type":"Linux","upgrade_info":"none",
         "version":"2.1","signature":"V2-s"})"},
    {"App", blankOf<App>(), made<App>([](App& a) {
         a.created_at = "c"; a.deviceid = 42; a.device = "LIN-1"; a.owner = own; a.name = "Reader"; a.version = "1.0";
         a.capabilities = json(R"(["b","a"])"); a.deployid = 3; a.id = 8; a.ownerid = 9;
     }),
     R"({"deviceid":42,"id":8,"signature":"<signed>","record":{"device":"LIN-1","owner":")" + own +
         R"(","name":"Reader","version":"1.0","capabilities":["b","a"],"revision":1}})",
     R"({"created_at":"c","updated_at":"","deviceid":42,"deployid":3,"id":8,"ownerid":9,"signature":"<signed>",
         "record":{"device":"LIN-1","owner":")" + own + R"(","name":"Reader","version":"1.0","capabilities":["b","a"],
         "revision":1}})"},
    {"XPID", blankOf<XPID>(), made<XPID>([](XPID& x) {
         x.urn = "urn:x"; x.name = "n"; x.email = "e@x"; x.pubkey = "V2-k"; x.url = "https://x"; x.kind = 2;
         x.owning_team_id = 7; x.homeServer = "h"; x.homeId = 11; x.id = 12;
     }),
     R"({"kind":2,"owning_team_id":7,"homeServer":"h","homeId":11,"id":12,"signature":"<signed>",
         "record":{"urn":"urn:x","name":"n","email":"e@x","pubkey":"V2-k","url":"https://x","revision":1}})",
     R"({"created_at":"","updated_at":"","kind":2,"owning_team_id":7,"homeServer":"h","homeId":11,"id":12,
         "signature":"<signed>",
         "record":{"urn":"urn:x","name":"n","email":"e@x","pubkey":"V2-k","url":"https://x","revision":1}})"},
    {"CAJoin", blankOf<CAJoin>(), made<CAJoin>([](CAJoin& j) {
         j.caurn = "CA/1"; j.participant = own; j.ca = "urn:ca"; j.userstatus = "allow"; j.teamstatus = "deny";
         j.team_id = 7; j.id = 3; j.participantid = 4;
     }),
     R"({"team_id":7,"id":3,"signature":"<signed>","record":{"participant":")" + own +
         R"(","ca":"urn:ca","userstatus":"allow","revision":1}})",
     R"({"created_at":"","updated_at":"","caurn":"CA/1","teamstatus":"deny","team_id":7,"id":3,"participantid":4,
         "signature":"<signed>","record":{"participant":")" + own + R"(","ca":"urn:ca","userstatus":"allow","revision":1}})"},
    {"AppData", blankOf<AppData>(), made<AppData>([](AppData& a) {
         a.kind = "Reader"; a.owner = own; a.name = "a/b"; a.value = "v"; a.id = 5; a.ownerid = 6;
     }),
     R"({"deviceid":0,"id":5,"signature":"<signed>","record":{"kind":"Reader","owner":")" + own +
         R"(","name":"a/b","value":"v","revision":1}})",
     R"({"created_at":"","updated_at":"","deviceid":0,"id":5,"ownerid":6,"signature":"<signed>",
         "record":{"kind":"Reader","owner":")" + own + R"(","name":"a/b","value":"v","revision":1}})"},
    {"TeamData without extra and signature", blankOf<TeamData>(), made<TeamData>([](TeamData& t) {
         t.updated_at = "u"; t.team_id = 7; t.kind = "ClientPolicy"; t.name = "n"; t.value = "{}"; t.id = 2;
     }),
     R"({"team_id":7,"kind":"ClientPolicy","name":"n","value":"{}","id":2})",
     R"({"created_at":"","updated_at":"u","team_id":7,"kind":"ClientPolicy","name":"n","value":"{}","id":2})"},
    {"TeamData with extra and signature", blankOf<TeamData>(), made<TeamData>([](TeamData& t) {
         t.kind = "Contingency"; t.name = "Public Key"; t.value = "V2-k"; t.extra = "urn:ca"; t.signature = "V2-s";
     }),
     R"({"team_id":0,"kind":"Contingency","name":"Public Key","value":"V2-k","extra":"urn:ca","signature":"V2-s","id":0})",
     R"({"created_at":"","updated_at":"","team_id":0,"kind":"Contingency","name":"Public Key","value":"V2-k",
         "extra":"urn:ca","signature":"V2-s","id":0})"},
    {"new Asset", blankOf<Asset>(), made<Asset>([](Asset& a) {
         a.owner = own; a.name = "k"; a.urn = "@adhoc-c-own"; a.object_kind = "@adhoc"; a.object_cookie = "c";
         a.canEncrypt = true; a.upgradeLevel = 2;
     }),
     R"({"homeServer":"","keyRotation":0,"keyRetirement":0,"keyDestruction":0,"id":0,"signature":"<signed>",
         "record":{"owner":")" + own + R"(","name":"k","urn":"@adhoc-c-own","object_kind":"@adhoc",
         "object_cookie":"c","revision":1}})",
     R"({"created_at":"","updated_at":"","compatibility":"","homeServer":"","keyRotation":0,"keyRetirement":0,
         "keyDestruction":0,"id":0,"ownerid":0,"signature":"<signed>","record":{"owner":")" + own + R"(","name":"k",
         "urn":"@adhoc-c-own","object_kind":"@adhoc","object_cookie":"c","revision":1}})"},
    {"Asset being deleted", blankOf<Asset>(), made<Asset>([](Asset& a) {
         a.urn = "u"; a.delete_by = "2030-01-01"; a.compatibility = "Optional Upgrade"; a.homeServer = "h";
         a.keyRotation = 1; a.keyRetirement = 2; a.keyDestruction = 3; a.id = 4; a.ownerid = 5;
     }),
     R"({"homeServer":"h","keyRotation":1,"keyRetirement":2,"keyDestruction":3,"id":4,"signature":"<signed>",
         "record":{"owner":"","name":"","urn":"u","object_kind":"","object_cookie":"","delete_by":"2030-01-01",
         "revision":1}})",
     R"({"created_at":"","updated_at":"","compatibility":"Optional Upgrade","homeServer":"h","keyRotation":1,
         "keyRetirement":2,"keyDestruction":3,"id":4,"ownerid":5,"signature":"<signed>","record":{"owner":"",
         "name":"","urn":"u","object_kind":"","object_cookie":"","delete_by":"2030-01-01","revision":1}})"},
    {"AssetRight", blankOf<AssetRight>(), made<AssetRight>([](AssetRight& r) {
         r.asset = "A"; r.owner = own; r.participant = "P"; r.access = "allow"; r.homeServer = "h"; r.id = 1;
         r.assetid = 2; r.ownerid = 3; r.participantid = 4;
     }),
     R"({"homeServer":"h","id":1,"signature":"<signed>","record":{"asset":"A","owner":")" + own +
         R"(","participant":"P","access":"allow","revision":1}})",
     R"({"created_at":"","updated_at":"","homeServer":"h","id":1,"assetid":2,"ownerid":3,"participantid":4,
         "signature":"<signed>","record":{"asset":"A","owner":")" + own +
         R"(","participant":"P","access":"allow","revision":1}})"},
    {"AssetKey of the personal key", blankOf<AssetKey>(), made<AssetKey>([](AssetKey& k) {
         k.asset = "priv-A"; k.owner = own; k.participant = own; k.keysequence = 3; k.keymaterial = "V2-km";
         k.allowed = true; k.homeServer = "h"; k.id = 1; k.assetid = 2; k.ownerid = 3; k.participantid = 4;
     }),
     R"({"homeServer":"h","id":1,"signature":"<signed>","record":{"asset":"priv-A","owner":")" + own +
         R"(","participant":")" + own + R"(","keysequence":3,"keymaterial":"V2-km","revision":1}})",
     R"({"created_at":"","updated_at":"","allowed":true,"forwarded_keymaterial":"","homeServer":"h","id":1,
         "assetid":2,"ownerid":3,"participantid":4,"signature":"<signed>","record":{"asset":"priv-A","owner":")" +
         own + R"(","participant":")" + own + R"(","keysequence":3,"keymaterial":"V2-km","revision":1}})"},
    {"AssetKey of a team key", blankOf<AssetKey>(), made<AssetKey>([](AssetKey& k) {
         k.asset = "A"; k.keysequence = 1; k.keymaterial = "V2-km"; k.ckeymaterial = "V3-1-s-c"; k.ca = "urn:ca";
         k.forwarded_keymaterial = "V2-fw";
     }),
     R"({"homeServer":"","id":0,"signature":"<signed>","record":{"asset":"A","owner":"","participant":"",
         "keysequence":1,"keymaterial":"V2-km","ckeymaterial":"V3-1-s-c","ca":"urn:ca","revision":1}})",
     R"({"created_at":"","updated_at":"","allowed":false,"forwarded_keymaterial":"V2-fw","homeServer":"","id":0,
         "assetid":0,"ownerid":0,"participantid":0,"signature":"<signed>","record":{"asset":"A","owner":"",
         "participant":"","keysequence":1,"keymaterial":"V2-km","ckeymaterial":"V3-1-s-c","ca":"urn:ca",
         "revision":1}})"},
    {"AssetRequest", blankOf<AssetRequest>(), made<AssetRequest>([](AssetRequest& r) {
         r.asset = "A"; r.participant = "P"; r.status = "waiting";
     }),
     R"({"id":0,"signature":"<signed>","record":{"asset":"A","participant":"P","revision":1}})",
     R"({"created_at":"","updated_at":"","id":0,"assetid":0,"participantid":0,"signature":"<signed>",
         "record":{"asset":"A","participant":"P","revision":1}})"},
    {"AssetFeature without a value", blankOf<AssetFeature>(), made<AssetFeature>([](AssetFeature& f) {
         f.asset = "A"; f.owner = own; f.name = "N"; f.compatibility = "Optional";
     }),
     R"({"homeServer":"","id":0,"signature":"<signed>","record":{"asset":"A","owner":")" + own +
         R"(","name":"N","scope":"","compatibility":"Optional","revision":1}})",
     R"({"created_at":"","updated_at":"","homeServer":"","id":0,"assetid":0,"ownerid":0,"signature":"<signed>",
         "record":{"asset":"A","owner":")" + own + R"(","name":"N","scope":"","compatibility":"Optional",
         "revision":1}})"},
    {"AssetFeature with a value", blankOf<AssetFeature>(), made<AssetFeature>([](AssetFeature& f) {
         f.asset = "A"; f.name = "N"; f.scope = "3.0,4.0"; f.value = "x"; f.homeServer = "h"; f.id = 6;
         f.assetid = 7; f.ownerid = 8;
     }),
     R"({"homeServer":"h","id":6,"signature":"<signed>","record":{"asset":"A","owner":"","name":"N",
         "scope":"3.0,4.0","compatibility":"","value":"x","revision":1}})",
     R"({"created_at":"","updated_at":"","homeServer":"h","id":6,"assetid":7,"ownerid":8,"signature":"<signed>",
         "record":{"asset":"A","owner":"","name":"N","scope":"3.0,4.0","compatibility":"","value":"x",
         "revision":1}})"},
    {"ContingencyGroup", blankOf<ContingencyGroup>(), made<ContingencyGroup>([](ContingencyGroup& g) {
         g.urn = "U"; g.name = "n"; g.email = "e"; g.pubkey = "V2-k"; g.caid = "urn:ca"; g.id = 2;
     }),
     R"({"caid":"urn:ca","id":2,"signature":"<signed>","record":{"urn":"U","name":"n","email":"e","pubkey":"V2-k",
         "revision":1}})",
     R"({"created_at":"","updated_at":"","caid":"urn:ca","id":2,"signature":"<signed>","record":{"urn":"U",
         "name":"n","email":"e","pubkey":"V2-k","revision":1}})"},
    {"ContingencyKey", blankOf<ContingencyKey>(), made<ContingencyKey>([](ContingencyKey& k) {
         k.owner = own; k.keysequence = 2; k.keymaterial = "V2-km"; k.ca = "urn:ca"; k.id = 3;
     }),
     R"({"id":3,"signature":"<signed>","record":{"owner":")" + own +
         R"(","keysequence":2,"keymaterial":"V2-km","ca":"urn:ca","revision":1}})",
     R"({"created_at":"","updated_at":"","id":3,"signature":"<signed>","record":{"owner":")" + own +
         R"(","keysequence":2,"keymaterial":"V2-km","ca":"urn:ca","revision":1}})"},
    {"ContingencyMasterKey", blankOf<ContingencyMasterKey>(), made<ContingencyMasterKey>([](ContingencyMasterKey& k) {
         k.recipient = "R"; k.keymaterial = "V2-a|V4-b"; k.ca = "urn:ca";
     }),
     R"({"id":0,"signature":"<signed>","record":{"recipient":"R","keymaterial":"V2-a|V4-b","ca":"urn:ca",
         "revision":1}})",
     R"({"created_at":"","updated_at":"","id":0,"signature":"<signed>","record":{"recipient":"R",
         "keymaterial":"V2-a|V4-b","ca":"urn:ca","revision":1}})"},
    {"Upload", blankOf<Upload>(), made<Upload>([](Upload& u) {
         u.created_at = "c"; u.updated_at = "u"; u.kind = "k"; u.deviceid = 1; u.expect_size = 5000000000;
         u.upload_started = "s"; u.upload_completed = "d"; u.uploaded_size = 7; u.id = 9;
     }),
     R"({"kind":"k","deviceid":1,"expect_size":5000000000,"id":9})",
     R"({"created_at":"c","updated_at":"u","kind":"k","deviceid":1,"expect_size":5000000000,"upload_started":"s",
         "upload_completed":"d","uploaded_size":7,"id":9})"},
    {"SignatureRequest", blankOf<SignatureRequest>(), made<SignatureRequest>([](SignatureRequest& r) {
         r.kind = "k"; r.record = R"({"a":1})"; r.id = 2;
     }),
     R"({"kind":"k","message":"","status":"","record":"{\"a\":1}","signature":"","id":2})",
     R"({"created_at":"","updated_at":"","kind":"k","message":"","status":"","record":"{\"a\":1}","signature":"",
         "id":2})"},
    {"ChatMessage", blankOf<ChatMessage>(), made<ChatMessage>([](ChatMessage& m) {
         m.asset = "A"; m.content = "hi"; m.updated_at = "u";
     }),
     R"({"asset":"A","kind":"","sender":"","content":"hi","id":0})",
     R"({"created_at":"","updated_at":"u","asset":"A","kind":"","sender":"","content":"hi","id":0})"},
    {"MFAPair without secrets", blankOf<MFAPair>(), made<MFAPair>([](MFAPair& p) {
         p.kind = "TOTP"; p.name = "phone"; p.enabled = true; p.id = 12;
     }),
     R"({"kind":"TOTP","name":"phone","enabled":true,"id":12})",
     R"({"created_at":"","updated_at":"","kind":"TOTP","name":"phone","enabled":true,"id":12})"},
    {"MFAPair with secrets", blankOf<MFAPair>(), made<MFAPair>([](MFAPair& p) {
         p.kind = "Certificate"; p.secret = "s"; p.token = "t"; p.associationValue = "av";
     }),
     R"({"kind":"Certificate","name":"","enabled":false,"secret":"s","token":"t","associationValue":"av","id":0})",
     R"({"created_at":"","updated_at":"","kind":"Certificate","name":"","enabled":false,"secret":"s","token":"t",
         "associationValue":"av","id":0})"},
    {"TeamAuthority", blankOf<TeamAuthority>(), made<TeamAuthority>([](TeamAuthority& a) {
         a.name = "n"; a.caid = "CA-1"; a.authorities = "[1]"; a.team_group_urn = "urn:g"; a.team_group_pubkey = "V2-g";
         a.id = 4;
     }),
     R"({"name":"n","caid":"CA-1","authorities":"[1]","team_group_urn":"urn:g","team_group_pubkey":"V2-g","id":4})",
     R"({"name":"n","caid":"CA-1","authorities":"[1]","team_group_urn":"urn:g","team_group_pubkey":"V2-g","id":4})"},
    {"default SatellitePolicy", blankOf<SatellitePolicy>(), blankOf<SatellitePolicy>(),
     R"({"version":"","offline_access_hours":24,"ma_credential_interval_minutes":15,"skey_flag":11,
         "persist_metadata":true,"persist_credentials":true,"recipients_lookup_max":25})",
     R"({"version":"","offline_access_hours":24,"ma_credential_interval_minutes":15,"skey_flag":11,
         "persist_metadata":true,"persist_credentials":true,"recipients_lookup_max":25})"},
    {"DataMemo", blankOf<DataMemo>(), made<DataMemo>([](DataMemo& m) {
         m.updated_at = "u"; m.memo_kind = "delete"; m.entity_kind = "asset"; m.entity_id = 4; m.recipient_kind = "user";
         m.recipientid = 5; m.id = 6;
     }),
     R"({"updated_at":"u","memo_kind":"delete","entity_kind":"asset","entity_id":4,"recipient_kind":"user",
         "recipientid":5,"id":6})",
     R"({"updated_at":"u","memo_kind":"delete","entity_kind":"asset","entity_id":4,"recipient_kind":"user",
         "recipientid":5,"id":6})"},
    {"Server", blankOf<Server>(), made<Server>([](Server& s) {
         s.name = "s1"; s.url = "https://s1"; s.authorization = json(R"({"a":[1,{"b":2}]})");
     }),
     R"({"name":"s1","pubkey":"","url":"https://s1","authorization":{"a":[1,{"b":2}]}})",
     R"({"name":"s1","pubkey":"","url":"https://s1","authorization":{"a":[1,{"b":2}]}})"},
    {"default LoginParameters", blankOf<LoginParameters>(), blankOf<LoginParameters>(),
     R"({"urn":"","loginSalt":"","loginRounds":0,"challenge":"","mdsUrn":"","mdsPubkey":"","mdsSignature":"",
         "cmdsPrefix":"","accountIsManaged":false,"migrationRequired":false,
         "migrationServer":{"name":"","pubkey":"","url":"","authorization":null}})",
     R"({"urn":"","loginSalt":"","loginRounds":0,"challenge":"","mdsUrn":"","mdsPubkey":"","mdsSignature":"",
         "cmdsPrefix":"","accountIsManaged":false,"migrationRequired":false,
         "migrationServer":{"name":"","pubkey":"","url":"","authorization":null}})"},
    {"LoginResetResponse", blankOf<LoginResetResponse>(), made<LoginResetResponse>([](LoginResetResponse& r) {
         r.loginSalt = "s"; r.loginRounds = 1000; r.challenge = "c";
     }),
     R"({"matched":false,"loginSalt":"s","loginRounds":1000,"challenge":"c","id":0})",
     R"({"matched":false,"loginSalt":"s","loginRounds":1000,"challenge":"c","id":0})"},
    {"Notification", blankOf<Notification>(), made<Notification>([](Notification& n) {
         n.urn = "abc"; n.type = "team_invitation"; n.action1 = "Join"; n.action2 = "Reject"; n.aux = "x"; n.id = 3;
     }),
     R"({"urn":"abc","mode":"","type":"team_invitation","message":"","action1":"Join","action2":"Reject","aux":"x",
         "id":3})",
     R"({"urn":"abc","mode":"","type":"team_invitation","message":"","action1":"Join","action2":"Reject","aux":"x",
         "id":3})"},
};

TEST_F(RecordClassForms, ServerAndLocalForms) {
    for (const FormCase& c : formCases) {
        auto record = c.make();
        EXPECT_EQ(normalized(*record, true), canonical(c.server)) << c.name;
        EXPECT_EQ(normalized(*record, false), withBaseFlags(canonical(c.local))) << c.name;
    }
}

TEST_F(RecordClassForms, LocalFormReadsBackWhole) {
    for (const FormCase& c : formCases) {
        auto written = c.make();
        written->remoteDirty = false;
        written->originator = true;
        const std::string local = written->toJSON(false);
        auto read = c.blank();
        ASSERT_TRUE(read->restore(local)) << c.name;
        EXPECT_EQ(read->toJSON(false), local) << c.name;
        EXPECT_FALSE(read->localDirty) << c.name;
        EXPECT_TRUE(read->originator) << c.name;
        EXPECT_EQ(read->recordText, written->recordText) << c.name;
    }
}

TEST_F(RecordClassForms, Identities) {
    const struct {
        const char* name;
        std::function<std::shared_ptr<VxMetadata>()> make;
        const char* idstr;
        const char* urn;
        const char* path;
    } cases[] = {
        {"Deployment without id", blankOf<Deployment>(), "", "", "deployment/"},
        {"Deployment", made<Deployment>([](Deployment& d) { d.id = 4; }), "4", "4", "deployment/4/"},
        {"App", made<App>([](App& a) { a.name = "Reader"; a.deviceid = 42; a.id = 8; }), "8", "Reader-42", "app/8/"},
        {"App with an escaped name", made<App>([](App& a) { a.name = "Re/ad:er"; a.deviceid = 42; }), "", "Re,ad%cer-42",
         "app/"},
        {"XPID", made<XPID>([](XPID& x) { x.urn = "urn:x/1"; x.id = 3; }), "3", "urn:x/1", "xpid/3/"},
        {"CAJoin", made<CAJoin>([](CAJoin& j) { j.caurn = "Team/A-1"; j.participant = "P/Q"; }), "", "team,a%h1-P/Q",
         "cajoin/"},
        {"AppData", made<AppData>([](AppData& a) { a.kind = "Reader"; a.name = "a/b"; }), "", "Reader-a,b-0", "appdata/"},
        {"TeamData", made<TeamData>([](TeamData& t) { t.kind = "K"; t.name = "n-1"; t.team_id = 7; t.id = 2; }), "2",
         "K-n%h1-7", "teamdata/2/"},
        {"Asset", made<Asset>([](Asset& a) { a.urn = "@adhoc-c-u"; a.id = 9; }), "9", "@adhoc-c-u", "asset/9/"},
        {"AssetRight", made<AssetRight>([](AssetRight& r) { r.asset = "A/1"; r.participant = "P:2"; }), "", "A/1-P:2",
         "assetright/"},
        {"AssetKey", made<AssetKey>([](AssetKey& k) { k.asset = "A"; k.participant = "P"; k.keysequence = 3; }), "",
         "A-P-3", "assetkey/"},
        {"AssetRequest", made<AssetRequest>([](AssetRequest& r) { r.asset = "A"; r.participant = "P"; r.id = 1; }), "1",
         "A-P", "assetrequest/1/"},
        {"AssetFeature", made<AssetFeature>([](AssetFeature& f) { f.asset = "A"; f.name = "N"; }), "", "A-N-",
         "assetfeature/"},
        {"ContingencyGroup", made<ContingencyGroup>([](ContingencyGroup& g) { g.urn = "U/1"; g.caid = "CA/X-Y"; }), "",
         "U/1-ca,x%hy", "contingencygroup/"},
        {"ContingencyKey", made<ContingencyKey>([](ContingencyKey& k) { k.owner = "O"; k.keysequence = 2; k.ca = "C"; }),
         "", "O-2-c", "contingencykey/"},
        {"ContingencyMasterKey",
         made<ContingencyMasterKey>([](ContingencyMasterKey& k) { k.recipient = "R"; k.ca = "CA-1"; k.id = 5; }), "5",
         "R-ca%h1", "contingencymasterkey/5/"},
        {"Upload without id", blankOf<Upload>(), "", "0", "upload/"},
        {"Upload", made<Upload>([](Upload& u) { u.id = 7; }), "7", "7", "upload/7/"},
        {"SignatureRequest", made<SignatureRequest>([](SignatureRequest& r) { r.id = 2; }), "2", "2",
         "signaturerequest/2/"},
        {"ChatMessage", blankOf<ChatMessage>(), "", "0", "chatmessage/"},
        {"MFAPair without id", blankOf<MFAPair>(), "", "0", "mfapair/"},
        {"MFAPair", made<MFAPair>([](MFAPair& p) { p.id = 12; }), "12", "12", "mfapair/12/"},
        {"TeamAuthority", made<TeamAuthority>([](TeamAuthority& a) { a.caid = "Team/A"; }), "", "team,a",
         "teamauthority/"},
        {"TeamAuthority with a hyphen", made<TeamAuthority>([](TeamAuthority& a) { a.caid = "CA-1"; }), "", "ca%h1",
         "teamauthority/"},
        {"SatellitePolicy", made<SatellitePolicy>([](SatellitePolicy& p) { p.version = "3.1"; }), "3.1", "",
         "satellitepolicy/3.1/"},
        {"DataMemo", made<DataMemo>([](DataMemo& m) { m.id = 6; }), "6", "6", "datamemo/6/"},
        {"Server", made<Server>([](Server& s) { s.name = "s1"; }), "s1", "", "server/s1/"},
        {"LoginParameters", made<LoginParameters>([](LoginParameters& p) { p.urn = "urn:u"; }), "urn:u", "",
         "loginparameters/urn:u/"},
        {"LoginResetResponse", blankOf<LoginResetResponse>(), "", "", "loginresetresponse/"},
        {"Notification", made<Notification>([](Notification& n) { n.urn = "abc"; n.id = 1; }), "1", "abc",
         "notification/1/"},
    };
    for (const auto& c : cases) {
        auto record = c.make();
        EXPECT_EQ(record->idstr(), c.idstr) << c.name;
        EXPECT_EQ(record->geturn(), c.urn) << c.name;
        EXPECT_EQ(record->getSuffix(), c.path) << c.name;
    }
}

TEST_F(RecordClassForms, AKeyFileNamesTheAsset) {
    Asset asset;
    asset.urn = "@adhoc-c-u";
    EXPECT_EQ(asset.asAKF(), "{\"asset\":\"@adhoc-c-u\",\"version\":2}\n");
}

} // namespace
