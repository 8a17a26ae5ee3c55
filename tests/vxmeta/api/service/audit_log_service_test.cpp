// Audit-log events against the test key service: auditing follows the site settings, steps become
// events with their tags, event names and texts, the context is factored out of or copied into the
// steps, the archive filter drops what the service does not want, chunks close at their byte and event
// limits, at their exact limits and at an "end" line, a context change after a step starts a chunk under
// the new context, and the chunks are posted in order, a chunk that fails over alone.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reports_fixture.h"
#include "vxmeta/api/audit_log.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_info.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/persists.h"

using namespace VxMeta;

namespace {

class AuditOnTheService : public VxMeta::testing::ReportsTest {
protected:
    void SetUp() override {
        ReportsTest::SetUp();
        if (service.servers.empty()) VX_SKIP_OR_FAIL_IN_CI("the test key service is not running");
    }

    std::vector<Json::Value> process(const std::vector<std::string>& lines, uint64_t maxBytes = 250000,
                                     uint32_t maxEntries = 500) {
        std::vector<Json::Value> chunks;
        EXPECT_TRUE(api.processAuditLogEntries(lines, chunks, maxBytes, maxEntries));
        return chunks;
    }
    // The step events of a chunk (its entries without the context).
    static std::vector<Json::Value> steps(const Json::Value& chunk) {
        std::vector<Json::Value> found;
        for (const Json::Value& entry : chunk["entries"])
            if (entry["category"] == "step") found.push_back(entry);
        return found;
    }
    static std::string line(const std::string& json) { return jsonString(parseJson(json)); }
    // A step without encryption whose event is about `size` bytes long (the item is in the event twice:
    // as itself and in the text).
    static std::string bigStep(size_t size, int n) {
        Json::Value step;
        step["category"] = "step";
        step["action"] = "Add";
        step["archive"] = "a.zip";
        step["item"] = "item-" + std::to_string(n) + "-" + std::string(size > 220 ? (size - 220) / 2 : 1, 'x');
        return jsonString(step);
    }
    std::string deviceAndUser() const {
        return " - device " + std::to_string(getMyDevice()->id) + ":test desk - user " + getMyPID()->name + "(" +
               getMyPID()->email + ")";
    }

    RawVorlane api;
};

TEST_F(AuditOnTheService, AuditingOffSendsNothing) {
    auditSettings(false, 0, true, true);
    std::vector<Json::Value> chunks;
    EXPECT_FALSE(api.processAuditLogEntries({line(R"({"category":"step","action":"Add"})")}, chunks, 250000, 500));
    VxMeta::testing::LogCatcher log;
    EXPECT_FALSE(api.sendAuditLogEntries({line(R"({"category":"step","action":"Add"})")}, 250000, 500));
    EXPECT_TRUE(log.saw("Data failed to process"));
    EXPECT_TRUE(received("AuditLog").empty());
}

TEST_F(AuditOnTheService, BothArchiveFlagsClearKeepOnlyEncryptedStepsOtherThanCopies) {
    auditSettings(true, 0, false, false);
    const std::vector<std::string> lines{
        line(R"({"category":"step","action":"Add","archive":"plain.zip","item":"a.txt"})"),
        line(R"({"category":"step","action":"Copy","archive":"c.zip","encryption":{"method":"AES"}})"),
        line(R"({"category":"step","action":"Add","archive":"s.zip","item":"b.txt","encryption":{"method":"AES"}})"),
    };
    const std::vector<Json::Value> chunks = process(lines);
    ASSERT_EQ(chunks.size(), 1u);
    const std::vector<Json::Value> events = steps(chunks[0]);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["tags"], "Archive,Add,Encrypted");
    EXPECT_EQ(events[0]["event"], "Tarvex Encrypt");
    EXPECT_EQ(events[0]["text"], "Encrypt b.txt Archive=s.zip" + deviceAndUser());

    EXPECT_TRUE(process({lines[0], lines[1]}).empty()) << "every step dropped: no chunk";
    EXPECT_TRUE(api.sendAuditLogEntries({lines[0], lines[1]}, 250000, 500));
    EXPECT_TRUE(received("AuditLog").empty());
}

TEST_F(AuditOnTheService, EventNamesSubjectsAndSeverities) {
    auditSettings(true, 1, true, true);
    const std::vector<Json::Value> events = steps(process({
        line(R"({"category":"step"})"),
        line(R"({"category":"step","encryption":{"method":"AES"}})"),
        line(R"({"category":"step","action":"ReEncrypt","encryption":{"m":1},"item":"i"})"),
        line(R"({"category":"step","action":"Delete","status":{"level":"WARNING","code":0,"description":"gone"}})"),
        line(R"({"category":"step","action":"Update","status":{"level":"info","code":4,"description":"hidden"}})"),
        line(R"({"category":"step","action":"Update","status":{"level":"error","code":4,"description":"failed"}})"),
    })[0]);
    ASSERT_EQ(events.size(), 6u);
    struct Row {
        const char* tags;
        const char* event;
        const char* subject;
    };
    const Row rows[] = {
        {"Archive", "Tarvex Step", "Unknown action"},
        {"Archive,Encrypted", "Tarvex Decrypt", "Decrypt"},
        {"Archive,ReEncrypt,Encrypted", "Tarvex Re-Encrypt", "Re-Encrypt i"},
        {"Archive,Delete", "Tarvex Delete", "Delete - gone"},
        {"Archive,Update", "Tarvex Update", "Update"},
        {"Archive,Update", "Tarvex Update", "Update - failed"},
    };
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i]["tags"], rows[i].tags);
        EXPECT_EQ(events[i]["event"], rows[i].event);
        EXPECT_EQ(events[i]["text"], rows[i].subject + deviceAndUser());
    }
}

TEST_F(AuditOnTheService, FactoredModeStartsEachChunkWithTheContextAndLeavesOutWhatEqualsIt) {
    auditSettings(true, 0, true, true);
    const std::vector<Json::Value> chunks = process({
        line(R"({"category":"begin","archive":"ctx.zip","timestamp":"t0","operator":"op"})"),
        line(R"({"category":"step","action":"Add","archive":"ctx.zip","timestamp":"t0","item":"x"})"),
        line(R"({"category":"step","action":"Add","archive":"other.zip","item":"y"})"),
    });
    ASSERT_EQ(chunks.size(), 1u);
    const Json::Value& entries = chunks[0]["entries"];
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], parseJson(R"({"category":"factors","archive":"ctx.zip","timestamp":"t0","operator":"op"})"));
    EXPECT_FALSE(entries[1].isMember("archive")) << "equal to the context";
    EXPECT_EQ(entries[1]["timestamp"], "t0") << "sent with every step";
    EXPECT_EQ(entries[2]["archive"], "other.zip");
    EXPECT_FALSE(entries[2].isMember("operator"));
    // The header of the chunk.
    EXPECT_EQ(chunks[0]["protocol"], 7);
    EXPECT_EQ(chunks[0]["app"], "Reader");
    EXPECT_EQ(chunks[0]["deviceid"].asInt64(), getMyDevice()->id);
    EXPECT_EQ(chunks[0]["deviceName"], "test desk");
    EXPECT_EQ(chunks[0]["devicePlatform"], "Linux");
    EXPECT_EQ(chunks[0]["userEmail"], "reports@example.test");
}

TEST_F(AuditOnTheService, ExpandedModeCopiesTheContextWithTheIdentityIntoEverySteps) {
    auditSettings(true, 1, true, true);
    const std::vector<Json::Value> chunks = process({
        line(R"({"category":"begin","archive":"ctx.zip","operator":"op"})"),
        line(R"({"category":"step","action":"Add","item":"x"})"),
        line(R"({"category":"step","action":"Add","archive":"own.zip"})"),
    });
    ASSERT_EQ(chunks.size(), 1u);
    const Json::Value& entries = chunks[0]["entries"];
    ASSERT_EQ(entries.size(), 2u) << "no context entry";
    EXPECT_EQ(entries[0]["archive"], "ctx.zip");
    EXPECT_EQ(entries[0]["operator"], "op");
    EXPECT_EQ(entries[1]["archive"], "own.zip");
    for (const Json::Value& entry : entries) {
        EXPECT_EQ(entry["app"], "Reader");
        EXPECT_EQ(entry["deviceid"].asInt64(), getMyDevice()->id);
        EXPECT_EQ(entry["userEmail"], "reports@example.test");
        EXPECT_TRUE(entry.isMember("status")) << "the expanded mode keeps null members";
    }
}

TEST_F(AuditOnTheService, NullMembersAndAKeyNotHeldLocally) {
    auditSettings(true, 0, true, true);
    const std::string encrypted =
        line(R"({"category":"step","action":"Add","encryption":{"kms":{"data":"{\"assets\":[]}"}},
                 "contingency_keys":[{"trust":{"code":0}}]})");
    VxMeta::testing::LogCatcher log;
    const std::vector<Json::Value> events = steps(process({line(R"({"category":"step"})"), encrypted})[0]);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].isMember("archive") && events[0]["archive"].isNull());
    EXPECT_TRUE(events[0].isMember("action") && events[0]["action"].isNull());
    EXPECT_FALSE(events[0].isMember("status"));
    EXPECT_FALSE(events[0].isMember("item"));
    EXPECT_FALSE(events[0].isMember("contingency_keys"));
    EXPECT_TRUE(log.saw("Failed to get asset information for step - "));
    EXPECT_FALSE(events[1]["encryption"]["kms"].isMember("orvanel"));
    EXPECT_FALSE(events[1].isMember("assetId"));
    EXPECT_EQ(events[1]["contingency_keys"], parseJson("[{}]")) << "trust with code 0 removed";
}

TEST_F(AuditOnTheService, EncryptedStepsCarryTheFactsOfTheKeyHeldLocally) {
    // Another user's key shared with this user, and a key of this user's own (whose identity the
    // directory lacks); both reach the dataset.
    Json::Value spec;
    spec["email"] = "owner@example.test";
    spec["urn"] = "vx-user/owner@example.test";
    spec["password"] = kPassword;
    spec["rounds"] = 1000;
    const Json::Value other = service.call("POST", "/accounts", jsonString(spec));
    const Json::Value published =
        service.call("POST", "/people/" + other["id"].asString() + "/publish", "{}");
    const Json::Value shared =
        service.call("POST", "/people/" + other["id"].asString() + "/key", R"({"urn":"file-shared","name":"Shared"})");
    Json::Value right;
    right["form"]["record"]["asset"] = "file-shared";
    right["form"]["record"]["owner"] = other["urn"];
    right["form"]["record"]["participant"] = getMyPID()->urn;
    right["form"]["record"]["access"] = "allow";
    right["form"]["ownerid"] = other["id"];
    right["form"]["participantid"] = Json::Int64(accountId);
    right["signer"] = other["id"];
    service.call("POST", "/sync/records/assetright", jsonString(right));
    const Json::Value own =
        service.call("POST", "/people/" + std::to_string(accountId) + "/key", R"({"urn":"file-own","name":"Own"})");
    auditSettings(true, 1, true, true);
    ASSERT_TRUE(findAssetByURN("file-shared"));
    ASSERT_TRUE(findAssetByURN("file-own"));

    const auto step = [](const std::string& metadata) {
        Json::Value line;
        line["category"] = "step";
        line["action"] = "Add";
        line["encryption"]["kms"]["data"] = metadata;
        return jsonString(line);
    };
    const auto assetForm = [](const std::string& owner, const std::string& urn) {
        return jsonString(parseJson(R"({"assets":[{")" + urn + R"(:1":"V4-x"}],"owner":")" + owner + "\"}"));
    };
    const size_t assetRequests = [&] {
        size_t count = 0;
        for (const Json::Value& entry : service.log()) count += entry["path"].asString().find("/asset") != std::string::npos;
        return count;
    }();
    VxMeta::testing::LogCatcher log;
    const std::vector<Json::Value> events = steps(process({
        step(assetForm(other["urn"].asString(), "file-shared")),
        step(assetForm(getMyPID()->urn, "file-own")),
        step(R"({"cgkey":{"ca":"urn:team","keymaterial":"V4-x"}})"),
        step(assetForm(other["urn"].asString(), "file-not-held")),
    })[0]);
    ASSERT_EQ(events.size(), 4u);

    Json::Value expected;
    expected["created_at"] = shared["asset"]["created_at"];
    expected["kind"] = "file";
    expected["name"] = "Shared";
    expected["urn"] = "file-shared";
    expected["canModerate"] = false;
    expected["canDelete"] = findAssetByURN("file-shared")->canDelete;
    expected["owner"]["email"] = "owner@example.test";
    expected["owner"]["name"] = published["record"]["name"];
    EXPECT_EQ(events[0]["encryption"]["kms"]["orvanel"], parseJson("[" + jsonString(expected) + "]"));
    EXPECT_EQ(events[0]["assetId"].asInt64(), shared["asset"]["id"].asInt64());

    const Json::Value& mine = events[1]["encryption"]["kms"]["orvanel"][0];
    EXPECT_EQ(mine["name"], "Own");
    EXPECT_EQ(mine["canModerate"], true) << "the user owns the key";
    EXPECT_EQ(mine["canDelete"], findAssetByURN("file-own")->canDelete);
    EXPECT_FALSE(mine.isMember("owner")) << "this user's identity is not in the directory";
    EXPECT_EQ(events[1]["assetId"].asInt64(), own["asset"]["id"].asInt64());

    // Metadata that names no key: the facts of no key, and no id.
    Json::Value none;
    none["created_at"] = "";
    none["kind"] = "";
    none["name"] = "Policy Key";
    none["urn"] = "";
    none["canModerate"] = false;
    none["canDelete"] = false;
    EXPECT_EQ(events[2]["encryption"]["kms"]["orvanel"], parseJson("[" + jsonString(none) + "]"));
    EXPECT_FALSE(events[2].isMember("assetId"));

    // A key the dataset lacks is not asked for: the event goes without facts, after one log line.
    EXPECT_FALSE(events[3]["encryption"]["kms"].isMember("orvanel"));
    EXPECT_FALSE(events[3].isMember("assetId"));
    EXPECT_TRUE(log.saw("Failed to get asset information for step - Local copy of requested asset not found"));
    size_t after = 0;
    for (const Json::Value& entry : service.log()) after += entry["path"].asString().find("/asset") != std::string::npos;
    EXPECT_EQ(after, assetRequests) << "no request for a key, no access request";
}

TEST_F(AuditOnTheService, LinesOfTheWrongShapeAreSkippedWithALogLine) {
    auditSettings(true, 0, true, true);
    VxMeta::testing::LogCatcher log;
    const std::vector<Json::Value> chunks = process({
        line(R"({"category":{"x":1}})"),
        line(R"({"category":"step","status":"fine"})"),
        line(R"({"category":"step","policy":[1]})"),
        line(R"({"category":"step","action":5})"),
        line(R"({"category":"step","encryption":"AES"})"),
        line(R"({"category":"step","status":{"level":"error","code":"x"}})"),
        "not json",
        "",
        std::string(1, '\0'),
        line(R"({"category":"step","action":"Add","item":"kept"})"),
    });
    ASSERT_EQ(chunks.size(), 1u);
    const std::vector<Json::Value> events = steps(chunks[0]);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["item"], "kept");
    size_t skipped = 0;
    for (const std::string& text : log.caught()) skipped += text.find("Skipped audit log line") != std::string::npos;
    EXPECT_EQ(skipped, 6u);
}

TEST_F(AuditOnTheService, ChunksOfKilobyteEventsCloseAtTwoHundred) {
    auditSettings(true, 0, true, true);
    std::vector<std::string> lines;
    for (int i = 0; i < 450; ++i) lines.push_back(bigStep(1000, i));
    const std::vector<Json::Value> chunks = process(lines);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0]["entries"].size(), 200u) << "the measurement at 300 does not fit";
    EXPECT_EQ(chunks[1]["entries"].size(), 200u);
    EXPECT_EQ(chunks[2]["entries"].size(), 50u);
    EXPECT_EQ(steps(chunks[1])[0]["item"].asString().substr(0, 9), "item-200-") << "in order, none lost";
    for (const Json::Value& chunk : chunks) EXPECT_LE(jsonString(chunk).size() + 1, 250000u);
}

TEST_F(AuditOnTheService, ExactLimitsCloseTheChunkWithThoseEvents) {
    auditSettings(true, 0, true, true);
    std::vector<std::string> lines;
    for (int i = 0; i < 7; ++i) lines.push_back(bigStep(300, i));
    // Exactly maxEntries step events (batches of one).
    std::vector<Json::Value> chunks = process(lines, 1000000, 5);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0]["entries"].size(), 5u);
    EXPECT_EQ(chunks[1]["entries"].size(), 2u);

    // The framework's limits: 500 small events close a chunk.
    std::vector<std::string> many;
    for (int i = 0; i < 620; ++i) many.push_back(bigStep(300, i));
    chunks = process(many);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0]["entries"].size(), 500u);
    EXPECT_EQ(chunks[1]["entries"].size(), 120u);

    // A rendering exactly maxBytes long: the first three events alone.
    const std::vector<Json::Value> three = process({lines[0], lines[1], lines[2]}, 1000000, 500);
    ASSERT_EQ(three.size(), 1u);
    const uint64_t exact = jsonString(three[0]).size() + 1;
    chunks = process(lines, exact, 15);
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], three[0]);
    EXPECT_EQ(chunks[1]["entries"].size(), 3u);
}

TEST_F(AuditOnTheService, AnEndLineClosesTheChunkEarly) {
    auditSettings(true, 0, true, true);
    const std::vector<Json::Value> chunks = process({
        line(R"({"category":"begin","archive":"one.zip"})"),
        line(R"({"category":"step","action":"Add","item":"a"})"),
        line(R"({"category":"end"})"),
        line(R"({"category":"step","action":"Add","item":"b"})"),
    });
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0]["entries"].size(), 2u) << "context and one step";
    ASSERT_EQ(chunks[1]["entries"].size(), 1u) << "the context ended with the chunk";
    EXPECT_EQ(chunks[1]["entries"][0]["item"], "b");
}

// Factored mode: a step reads its archive from itself or, left out, from the first entry of its chunk.
// Each step's item names the archive it belongs to.
TEST_F(AuditOnTheService, AContextChangeAfterAStepStartsAChunkUnderTheNewContext) {
    auditSettings(true, 0, true, true);
    const auto step = [](const std::string& archive, int n, size_t padding) {
        Json::Value line;
        line["category"] = "step";
        line["action"] = "Add";
        line["archive"] = archive;
        line["item"] = archive + "#" + std::to_string(n) + std::string(padding, 'x');
        return jsonString(line);
    };
    const std::string beginA = line(R"({"category":"begin","archive":"a.zip"})");
    const std::string beginB = line(R"({"category":"begin","archive":"b.zip"})");
    const std::string note = line(R"({"category":"note","archive":"b.zip"})");
    const std::string end = line(R"({"category":"end"})");
    struct Case {
        const char* why;
        std::vector<std::string> lines;
        uint64_t maxBytes;
        uint32_t maxEntries;
    };
    std::vector<Case> cases = {
        {"a begin after a step", {beginA, step("a.zip", 1, 0), beginB, step("b.zip", 2, 0)}, 250000, 500},
        {"another category after a step", {beginA, step("a.zip", 1, 0), note, step("b.zip", 2, 0)}, 250000, 500},
    };
    // A batch that does not fit when an "end" closes the chunk, and a new context after it.
    Case carried{"a batch carried past an end", {beginA}, 9500, 10};
    for (int i = 0; i < 9; ++i) carried.lines.push_back(step("a.zip", i, 900));
    carried.lines.insert(carried.lines.end(), {end, beginB, step("b.zip", 9, 0), step("b.zip", 10, 0)});
    cases.push_back(carried);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        size_t events = 0;
        for (const Json::Value& chunk : process(c.lines, c.maxBytes, c.maxEntries)) {
            EXPECT_LE(jsonString(chunk).size() + 1, c.maxBytes);
            const Json::Value& entries = chunk["entries"];
            const bool factored = !entries.empty() && entries[0]["category"] == "factors";
            for (const Json::Value& event : steps(chunk)) {
                ++events;
                const std::string archive = event.isMember("archive") ? event["archive"].asString()
                                            : factored                ? entries[0]["archive"].asString()
                                                                      : "";
                const std::string item = event["item"].asString();
                EXPECT_EQ(archive, item.substr(0, item.find('#'))) << item.substr(0, 12);
            }
        }
        EXPECT_EQ(events, static_cast<size_t>(std::count_if(c.lines.begin(), c.lines.end(), [](const std::string& l) {
                      return l.find("\"step\"") != std::string::npos;
                  })));
    }
}

TEST_F(AuditOnTheService, TheLastBatchThatDidNotFitIsOneMoreChunk) {
    auditSettings(true, 0, true, true);
    std::vector<std::string> lines;
    for (int i = 0; i < 12; ++i) lines.push_back(bigStep(1000, i));
    // Batches of 2; room for about 9 events.
    const std::vector<Json::Value> chunks = process(lines, 9500, 10);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0]["entries"].size(), 8u);
    EXPECT_EQ(chunks[1]["entries"].size(), 4u);
    EXPECT_EQ(steps(chunks[1]).back()["item"].asString().substr(0, 8), "item-11-");
}

TEST_F(AuditOnTheService, ABatchLargerThanTheLimitIsSplitAndAnEventLargerThanItIsDropped) {
    auditSettings(true, 0, true, true);
    std::vector<std::string> lines;
    for (int i = 0; i < 10; ++i) lines.push_back(bigStep(1000, i));
    lines.insert(lines.begin() + 4, bigStep(20000, 99));
    VxMeta::testing::LogCatcher log;
    // One batch of 10 holds every event and is far above the limit.
    const std::vector<Json::Value> chunks = process(lines, 3500, 50);
    EXPECT_TRUE(log.saw("Audit event dropped"));
    size_t events = 0;
    for (const Json::Value& chunk : chunks) {
        EXPECT_LE(jsonString(chunk).size() + 1, 3500u);
        EXPECT_FALSE(steps(chunk).empty());
        for (const Json::Value& event : steps(chunk)) {
            EXPECT_NE(event["item"].asString().substr(0, 8), "item-99-");
            ++events;
        }
    }
    EXPECT_EQ(events, 10u);
}

TEST_F(AuditOnTheService, ChunksArePostedInOrderAndARefusalStopsTheRest) {
    auditSettings(true, 0, true, true);
    std::vector<std::string> lines;
    for (int i = 0; i < 12; ++i) lines.push_back(bigStep(1000, i));
    const std::vector<Json::Value> chunks = process(lines, 9500, 10);
    ASSERT_EQ(chunks.size(), 2u);

    EXPECT_TRUE(api.sendAuditLogEntries(lines, 9500, 10));
    const std::vector<std::string> texts = receivedTexts("AuditLog");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], jsonString(chunks[0]) + "\n");
    EXPECT_EQ(texts[1], jsonString(chunks[1]) + "\n");

    refuse("AuditLog", 400);
    VxMeta::testing::LogCatcher log;
    EXPECT_FALSE(api.sendAuditLogEntries(lines, 9500, 10));
    EXPECT_TRUE(log.saw("Data failed to send - "));
    EXPECT_EQ(receivedTexts("AuditLog").size(), 2u) << "the second chunk is not sent after the first failed";
}

TEST_F(AuditOnTheService, AChunkThatFailsOverIsSentAgainAloneAndAcceptedChunksOnce) {
    ASSERT_GE(service.servers.size(), 2u);
    auditSettings(true, 0, true, true);
    service.call("POST", "/cluster", R"({"members":[{"server":0},{"server":1}]})");
    getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::ClusterInfo::fromJson(parseJson(api.GET("clusterInfo"))),
                                            false);
    const int used = api.getPrefix() == TarvexProtocol::Url::newInstance(service.servers.at(0), "")->baseUrl ? 0 : 1;
    std::vector<std::string> lines;
    for (int i = 0; i < 12; ++i) lines.push_back(bigStep(1000, i));
    const std::vector<Json::Value> chunks = process(lines, 9500, 10);
    ASSERT_EQ(chunks.size(), 2u);

    // The server in use takes the first chunk and hangs up on the second.
    Json::Value lost;
    lost["kind"] = "down";
    lost["server"] = used;
    lost["path"] = "AuditLog";
    lost["after"] = 1;
    lost["count"] = 1;
    service.fault(lost);
    Vorlane wrapped;
    EXPECT_TRUE(wrapped.sendAuditLogEntries(lines, 9500, 10));
    const std::vector<std::string> texts = receivedTexts("AuditLog");
    ASSERT_EQ(texts.size(), 2u) << "an accepted chunk was sent again";
    EXPECT_EQ(texts[0], jsonString(chunks[0]) + "\n");
    EXPECT_EQ(texts[1], jsonString(chunks[1]) + "\n");
    const std::vector<Json::Value> posts = service.requestsTo("AuditLog");
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[0]["server"].asInt(), used);
    EXPECT_EQ(posts[1]["server"].asInt(), used);
    EXPECT_EQ(posts[2]["server"].asInt(), 1 - used);
}

} // namespace
