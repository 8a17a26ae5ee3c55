// The store manifest: its document against vectors and a checker made with Python `cryptography`
// (tests/vectors/store_manifest.py), its entries, and every way a document or a pair is refused.
#include "vxmeta/sync/manifest.h"

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/fails_with.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/dataset_lists.h"
#include "support/record_test_support.h"
#include "vxmeta/sync/manifest_texts.h"
#include "vxmeta/sync/meta_state.h"
#include "support/temp_path.h"

using namespace VxMeta;
using VxMetaTest::failsWith;

namespace {

const Json::Value& vectors() {
    static const Json::Value v = VxMetaTest::vectorFile("store_manifest.json");
    return v;
}

// Runs the Python checker over a stored list of [name, value] pairs; its report.
Json::Value pythonCheck(const Json::Value& pairs) {
    const std::string path = VxMetaTest::processTempPath("manifest_check.json");
    std::ofstream(path, std::ios::binary) << jsonString(pairs);
    int status = 0;
    const std::string out = VxMetaTest::runVectorScript("store_manifest.py", "check " + path, status);
    std::remove(path.c_str());
    return VxMetaTest::json(out);
}

Json::Value pairsWith(const std::vector<std::pair<std::string, std::string>>& pairs, const std::string& document) {
    Json::Value list(Json::arrayValue);
    for (const auto& [name, value] : pairs) {
        Json::Value pair(Json::arrayValue);
        pair.append(name);
        pair.append(value);
        list.append(pair);
    }
    Json::Value manifest(Json::arrayValue);
    manifest.append("m-");
    manifest.append(document);
    list.append(manifest);
    return list;
}

// Every test starts with a started library holding one record and a team, so that the clearing of a
// failure shows.
class ManifestTest : public ::testing::Test {
protected:
    void SetUp() override {
        init();
        LockScope lock(masterMutex);
        globalState.clear();
        myAssets->push_back(std::make_shared<Asset>());
        globalState.caUrn = "urn:team";
    }
    void TearDown() override {
        LockScope lock(masterMutex);
        globalState.clear();
        myAssets->clear();
    }
    static bool datasetCleared() {
        LockScope lock(masterMutex);
        return getMyAssets()->empty() && globalState.caUrn.empty() && globalState.manifest.entries.empty() &&
               globalState.manifest.sessionKey.empty();
    }
};

TEST_F(ManifestTest, FixedTextsAndDigestsAreThePythonOnes) {
    EXPECT_EQ(ManifestTexts::wrapText(), vectors()["wrap_text"].asString());
    EXPECT_EQ(ManifestTexts::entryText(), vectors()["entry_text"].asString());
    for (const std::string& value : vectors()["digests"].getMemberNames()) {
        EXPECT_EQ(Manifest::Entry::hash(value), vectors()["digests"][value].asString()) << value;
        EXPECT_EQ(Manifest::Entry::hash(value).size(), 44u);
    }
}

TEST_F(ManifestTest, ReadsThePythonDocuments) {
    Manifest manifest;
    manifest.fromJson(vectors()["document"].asString());
    EXPECT_EQ(manifest.sessionKey, vectors()["session_key"].asString());
    EXPECT_EQ(manifest.wrappedKey, VxMetaTest::json(vectors()["document"].asString())["a"].asString());
    ASSERT_EQ(manifest.entries.size(), vectors()["entries"].size());
    for (const Json::Value& entry : vectors()["entries"]) {
        const std::string name = entry[0].asString();
        ASSERT_TRUE(manifest.entries.count(name)) << name;
        EXPECT_EQ(manifest.entries[name].name, name);
        EXPECT_EQ(manifest.entries[name].digest, entry[1].asString());
    }
    EXPECT_TRUE(manifest.entries["persists-"].matches("any name", "{\"a\":1}"));

    Manifest empty;
    empty.fromJson(vectors()["empty_document"].asString());
    EXPECT_EQ(empty.sessionKey, vectors()["session_key"].asString());
    EXPECT_TRUE(empty.entries.empty());
}

TEST_F(ManifestTest, PythonReadsWhatItWritesAndKeepsTheSessionKeyAcrossSaves) {
    Manifest manifest;
    manifest.store("persists-", "{\"lastOnlineTime\":5}");
    manifest.store("asset-urn:vx:a,1", "{\"x\":\"\\u00e9\"}");
    const std::string first = manifest.toJson();
    EXPECT_EQ(manifest.sessionKey.size(), 44u);

    const Json::Value report =
        pythonCheck(pairsWith({{"persists-", "{\"lastOnlineTime\":5}"}, {"asset-urn:vx:a,1", "{\"x\":\"\\u00e9\"}"}}, first));
    ASSERT_TRUE(report["ok"].asBool()) << jsonString(report);
    EXPECT_EQ(report["session_key"].asString(), manifest.sessionKey);
    EXPECT_EQ(report["names"].size(), 2u);

    const std::string second = manifest.toJson();
    const Json::Value a = VxMetaTest::json(first), b = VxMetaTest::json(second);
    EXPECT_EQ(a["a"], b["a"]);
    EXPECT_NE(a["e"], b["e"]);
    EXPECT_EQ(jsonString(a).find(' '), std::string::npos);
    EXPECT_EQ(a.getMemberNames(), (std::vector<std::string>{"a", "e", "s", "v"}));
    EXPECT_EQ(a["v"].asString(), "1");

    Manifest empty;
    const Json::Value emptyReport = pythonCheck(pairsWith({}, empty.toJson()));
    ASSERT_TRUE(emptyReport["ok"].asBool()) << jsonString(emptyReport);
    EXPECT_EQ(emptyReport["names"].size(), 0u);
}

TEST_F(ManifestTest, StoreSetsReplacesAndRemovesEntries) {
    Manifest manifest;
    manifest.store("none-", "");
    EXPECT_TRUE(manifest.entries.empty());
    manifest.store("pid-x", "one");
    manifest.store("pid-x", "two");
    ASSERT_EQ(manifest.entries.size(), 1u);
    EXPECT_EQ(manifest.entries["pid-x"].digest, Manifest::Entry::hash("two"));
    manifest.store("pid-x", "");
    EXPECT_TRUE(manifest.entries.empty());
}

TEST_F(ManifestTest, EveryEntryIsMetOnceWithItsValue) {
    Manifest manifest;
    manifest.store("pid-x", "one");
    manifest.store("user-x", "two");
    manifest.verifyManifest("pid-x", "one");
    EXPECT_EQ(manifest.verifiedCount, 1);
    EXPECT_FALSE(manifest.allVerified());
    manifest.verifyManifest("user-x", "two");
    EXPECT_TRUE(manifest.allVerified());

    struct Case {
        const char* why;
        const char* name;
        const char* value;
    };
    for (const Case& c : {Case{"unlisted", "device-x", "one"}, Case{"altered", "pid-x", "onE"},
                          Case{"emptied", "pid-x", ""}, Case{"given twice", "pid-x", "one"}}) {
        SetUp();
        Manifest fresh;
        fresh.store("pid-x", "one");
        if (std::string(c.why) == "given twice") fresh.verifyManifest("pid-x", "one");
        EXPECT_TRUE(failsWith([&] { fresh.verifyManifest(c.name, c.value); }, VXMECAT_INVALID_METADATA,
                              std::string("Found invalid metadata (") + c.name + ")"))
            << c.why;
        EXPECT_TRUE(datasetCleared()) << c.why;
    }
}

TEST_F(ManifestTest, UnreadableDocumentsAreRefusedAndClearTheDataset) {
    Manifest other;
    const Json::Value otherDocument = VxMetaTest::json(other.toJson());
    const Json::Value good = VxMetaTest::json(vectors()["document"].asString());
    auto changed = [&](const char* member, const Json::Value& value) {
        Json::Value doc = good;
        if (value.isNull()) doc.removeMember(member);
        else doc[member] = value;
        return jsonString(doc);
    };
    auto flipped = [&](const char* member, size_t at) {
        std::string text = good[member].asString();
        text[at] = text[at] == 'A' ? 'B' : 'A';
        return changed(member, text);
    };
    std::vector<std::pair<std::string, std::string>> cases = {
        {"version 2", changed("v", "2")},
        {"no version", changed("v", Json::Value())},
        {"version a number", changed("v", 1)},
        {"e changed", flipped("e", 30)},
        {"e's IV changed", flipped("e", 5)},
        {"s changed", flipped("s", 0)},
        {"a changed", flipped("a", 30)},
        {"a of another session key", changed("a", otherDocument["a"])},
        {"no a", changed("a", Json::Value())},
        {"e empty", changed("e", "")},
        {"s missing", changed("s", Json::Value())},
        {"e in an unknown form", changed("e", "V9-AAAA-AAAA")},
        {"a an object", changed("a", Json::Value(Json::objectValue))},
        {"not JSON", "{\"a\":"},
        {"an array", "[]"},
    };
    for (const std::string& why : vectors()["bad_entry_documents"].getMemberNames())
        cases.emplace_back(why, vectors()["bad_entry_documents"][why].asString());
    for (const auto& [why, text] : cases) {
        SetUp();
        Manifest manifest;
        const std::string& document = text; // a lambda may not capture a structured binding
        EXPECT_TRUE(failsWith([&] { manifest.fromJson(document); }, VXMECAT_INVALID_METADATA,
                              "Invalid metadata manifest"))
            << why;
        EXPECT_TRUE(datasetCleared()) << why;
    }
}

} // namespace
