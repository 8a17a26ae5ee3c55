// The client state records (Persists, Etag, Sproxy) and the secret identity (SID): their two
// JSON forms, their reading rules, identity and equality, from small fixtures.
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/record_test_support.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/records/etag.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/sproxy.h"

using namespace VxMeta;
using VxMetaTest::canonical;
using VxMetaTest::json;

namespace {

const char* const freshPersistsServer = R"({
    "extStatsNextSendTime": 0, "lastOnlineTime": 0, "lastManagedLoginTime": 0,
    "offline_access_hours": 0, "ma_credential_interval_minutes": 0, "terminal_extra": "",
    "siteData": "", "gtag": 0, "pollingInterval": 60,
    "auditLogEnabled": false, "auditLogArchiveNonEncrypted": false, "auditLogArchiveCopy": false,
    "auditLogTarget": 0, "auditLogToken": "", "auditLogUrl": "",
    "lockerActive": false, "ltag": 0, "lastGroupTag": 0, "lockerConfig": "",
    "clusterInfo": null, "mfaCertificateBlacklists": null, "pkcs11Config": null, "id": 0})";

struct FormCase {
    const char* name;
    std::function<std::shared_ptr<VxMetadata>()> blank;
    std::function<std::shared_ptr<VxMetadata>()> make;
    const char* serverForm;
    const char* localForm; // without "remoteDirty" and "originator", which the test adds
};

std::string withBaseFlags(const char* localForm, bool remoteDirty, bool originator) {
    Json::Value value = json(localForm);
    value["remoteDirty"] = remoteDirty;
    value["originator"] = originator;
    return jsonString(value);
}

const FormCase formCases[] = {
    {"fresh Persists", [] { return std::make_shared<Persists>(); }, [] { return std::make_shared<Persists>(); }, freshPersistsServer, freshPersistsServer},
    {"Persists with prefixes and documents",
     [] { return std::make_shared<Persists>(); }, [] {
         auto p = std::make_shared<Persists>();
         p->cmdsPrefix = "https://central.example";
         p->setPrefix = "https://set.example";
         p->mdsPubkey = "V2-key";
         p->clusterInfo = json(R"({"ctag":"c1","members":[]})");
         p->pkcs11Config = json("[1,2]");
         p->gtag = 5000000000;
         p->id = 3;
         return p;
     },
     nullptr, nullptr},
    {"Etag", [] { return std::make_shared<Etag>(); }, [] {
         auto e = std::make_shared<Etag>();
         e->etag = 5;
         e->ctag = "c1";
         e->id = 7;
         return e;
     },
     R"({"etag":5,"gtag":0,"ltag":0,"ctag":"c1","id":7})", R"({"etag":5,"gtag":0,"ltag":0,"ctag":"c1","id":7})"},
    {"Sproxy", [] { return std::make_shared<Sproxy>(); }, [] {
         auto s = std::make_shared<Sproxy>();
         s->email = "a@b.c";
         s->sproxy = "sp";
         return s;
     },
     R"({"email":"a@b.c","sproxy":"sp","url":"","urn":""})", R"({"email":"a@b.c","sproxy":"sp","url":"","urn":""})"},
    {"SID", [] { return std::make_shared<SID>(); }, [] {
         auto s = std::make_shared<SID>();
         s->id = "V2-loc";
         s->prikey = "V6-x";
         s->version = "V3";
         s->shash = "V2-loc";
         return s;
     },
     R"({"id":"V2-loc","record":{"prikey":"V6-x","version":"V3","shash":"V2-loc","revision":1}})",
     R"({"id":"V2-loc","record":{"prikey":"V6-x","version":"V3","shash":"V2-loc","revision":1}})"},
};

TEST(ClientStateRecords, ServerAndLocalForms) {
    for (const FormCase& c : formCases) {
        if (!c.serverForm) continue;
        auto record = c.make();
        EXPECT_EQ(record->toJSON(true), canonical(c.serverForm)) << c.name;
        EXPECT_EQ(record->toJSON(false), withBaseFlags(c.localForm, true, false)) << c.name;
    }
}

TEST(ClientStateRecords, PersistsWritesPrefixesOnlyWhenSet) {
    Persists p;
    Json::Value local = p.toJSONValue(false);
    for (const char* key : {"cmdsPrefix", "setPrefix", "mdsPubkey"}) EXPECT_FALSE(local.isMember(key)) << key;

    p.setPrefix = "https://set.example";
    EXPECT_EQ(p.toJSONValue(false)["setPrefix"].asString(), "https://set.example");
    EXPECT_EQ(p.toJSONValue(true)["setPrefix"].asString(), "https://set.example");
    p.setPrefix.clear();
    EXPECT_FALSE(p.toJSONValue(false).isMember("setPrefix"));
}

TEST(ClientStateRecords, LocalFormReadsBackWhole) {
    for (const FormCase& c : formCases) {
        auto written = c.make();
        written->remoteDirty = false;
        written->originator = true;
        const std::string local = written->toJSON(false);
        auto read = c.blank();
        ASSERT_TRUE(read->restore(local)) << c.name;
        EXPECT_EQ(read->toJSON(false), local) << c.name;
        EXPECT_FALSE(read->localDirty) << c.name;
    }
}

struct DecodeCase {
    const char* name;
    std::function<std::shared_ptr<VxMetadata>()> make;
    const char* input;
    const char* localAfter; // without the base flags
};

const DecodeCase decodeCases[] = {
    {"Persists from {} has polling interval 0 and null documents",
     [] { return std::make_shared<Persists>(); }, "{}",
     R"({"extStatsNextSendTime":0,"lastOnlineTime":0,"lastManagedLoginTime":0,"offline_access_hours":0,
         "ma_credential_interval_minutes":0,"terminal_extra":"","siteData":"","gtag":0,"pollingInterval":0,
         "auditLogEnabled":false,"auditLogArchiveNonEncrypted":false,"auditLogArchiveCopy":false,
         "auditLogTarget":0,"auditLogToken":"","auditLogUrl":"","lockerActive":false,"ltag":0,
         "lastGroupTag":0,"lockerConfig":"","clusterInfo":null,"mfaCertificateBlacklists":null,
         "pkcs11Config":null,"id":0})"},
    {"Etag with every member", [] { return std::make_shared<Etag>(); },
     R"({"etag":5,"gtag":2,"ltag":0,"ctag":"c1","id":7})", R"({"etag":5,"gtag":2,"ltag":0,"ctag":"c1","id":7})"},
    {"Etag from {} replaces what it held",
     [] {
         auto e = std::make_shared<Etag>();
         e->etag = 9;
         e->ctag = "old";
         return e;
     },
     "{}", R"({"etag":0,"gtag":0,"ltag":0,"ctag":"","id":0})"},
    {"SID with a numeric id", [] { return std::make_shared<SID>(); },
     R"({"id":12,"record":{"prikey":"p","version":"V3","shash":"h","revision":4}})",
     R"({"id":"12","record":{"prikey":"p","version":"V3","shash":"h","revision":4}})"},
    {"SID without a record object", [] { return std::make_shared<SID>(); }, R"({"id":"x"})",
     R"({"id":"x","record":{"prikey":"","version":"","shash":"","revision":0}})"},
    {"Sproxy ignores unknown members", [] { return std::make_shared<Sproxy>(); },
     R"({"email":"e","other":[1],"urn":"u"})", R"({"email":"e","sproxy":"","url":"","urn":"u"})"},
};

TEST(ClientStateRecords, DecodeReadsEveryKeyWhetherPresentOrNot) {
    for (const DecodeCase& c : decodeCases) {
        auto record = c.make();
        ASSERT_TRUE(record->update(json(c.input))) << c.name;
        EXPECT_EQ(record->toJSON(false), withBaseFlags(c.localAfter, false, false)) << c.name;
    }
}

TEST(ClientStateRecords, IdentityAndPaths) {
    Persists persists;
    EXPECT_EQ(persists.getSuffix(), "persists/");
    EXPECT_EQ(persists.geturn(), "");
    persists.id = 3;
    EXPECT_EQ(persists.getSuffix(), "persists/3/");

    Etag etag;
    etag.id = 7;
    EXPECT_EQ(etag.getSuffix(), "etag/7/");

    Sproxy sproxy;
    sproxy.email = "a b@c.d";
    sproxy.urn = "urn:x";
    EXPECT_EQ(sproxy.getSuffix(), "sproxy/a b@c.d/");
    EXPECT_EQ(sproxy.geturn(), "");

    SID sid;
    sid.id = "V2-a,b+c";
    sid.shash = "V2-locator";
    EXPECT_EQ(sid.getSuffix(), "sid/V2-a,b+c/");
    EXPECT_EQ(sid.geturn(), "V2-locator");
}

TEST(ClientStateRecords, EqualityIgnoresBaseState) {
    Persists a, b;
    b.revision = 9;
    b.localDirty = false;
    b.remoteDirty = false;
    b.originator = true;
    EXPECT_FALSE(a != b);
    b.clusterInfo = json(R"({"ctag":"c"})");
    EXPECT_TRUE(a != b);
    a.clusterInfo = json(R"({"ctag":"c"})");
    EXPECT_FALSE(a != b);
    a.lockerActive = true;
    EXPECT_TRUE(a != b);

    SID s, t;
    t.revision = 2; // the SID's revision is part of its content
    EXPECT_TRUE(s != t);
}

TEST(ClientStateRecords, MergeOfAnEqualAndOfADifferingCopy) {
    Persists held;
    held.siteData = "doc";
    held.originator = true;
    held.localDirty = false;
    held.remoteDirty = true;
    held.verified = 1;

    Persists equal = held;
    equal.originator = false;
    equal.revision = 7;
    equal.verified = 0;
    held.copyUpdate(equal);
    EXPECT_FALSE(held.remoteDirty);
    EXPECT_FALSE(held.localDirty);
    EXPECT_EQ(held.revision, 1);
    EXPECT_EQ(held.verified, 1);
    EXPECT_TRUE(held.originator);

    Persists differing;
    differing.siteData = "newer";
    differing.revision = 7;
    differing.verified = 2;
    differing.remoteDirty = true;
    held.copyUpdate(differing);
    EXPECT_EQ(held.siteData, "newer");
    EXPECT_EQ(held.revision, 7);
    EXPECT_EQ(held.verified, 2);
    EXPECT_TRUE(held.originator);
    EXPECT_TRUE(held.localDirty);
    EXPECT_FALSE(held.remoteDirty);
}

TEST(ClientStateRecords, ChangedRaisesTheRevisionOutsideTheJson) {
    Persists persists;
    persists.localDirty = false;
    persists.remoteDirty = false;
    const std::string before = persists.toJSON(true);
    persists.changed();
    EXPECT_TRUE(persists.localDirty && persists.remoteDirty);
    EXPECT_EQ(persists.revision, 2);
    EXPECT_EQ(persists.toJSON(true), before);

    SID sid;
    sid.changed();
    EXPECT_EQ(sid.toJSONValue(true)["record"]["revision"].asInt(), 2);
}

} // namespace
