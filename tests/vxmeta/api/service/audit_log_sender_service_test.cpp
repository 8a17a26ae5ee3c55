// The framework's audit-log sender against the test key service: no lines send nothing, auditing off
// answers false without an error, the framework's limits of 250,000 bytes and 500 events hold (a batch
// over the byte limit is split), lines of the wrong shape and events over the byte limit are left out
// with a log line while the rest is sent, and a library failure (the failover running out) reaches the
// caller as the framework's error.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/error.h"
#include "Vorlane/AuditLog/vl_audit_log_sender.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "reports_fixture.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/records/persists.h"

using namespace VxMeta;
using VorlaneBridge::VLAuditLogSender;

namespace {

// The one holder of the process: its API object lives until the process ends.
const std::shared_ptr<VorlaneBridge::VorlaneWrapper>& wrapper() {
    static const auto* held = new std::shared_ptr<VorlaneBridge::VorlaneWrapper>(
        std::make_shared<VorlaneBridge::VorlaneWrapper>());
    return *held;
}

class AuditSenderOnTheService : public VxMeta::testing::ReportsTest {
protected:
    void SetUp() override {
        ReportsTest::SetUp();
        if (service.servers.empty()) VX_SKIP_OR_FAIL_IN_CI("the test key service is not running");
    }
    static std::string step(const std::string& item) {
        Json::Value line;
        line["category"] = "step";
        line["action"] = "Add";
        line["item"] = item;
        return jsonString(line);
    }
    // An error that a call must leave alone.
    static Platform::Error untouched() { return Platform::Error("untouched", 7); }

    VLAuditLogSender sender{wrapper()};
};

TEST_F(AuditSenderOnTheService, NoLinesSendNothingAndAuditingOffAnswersFalseWithoutAnError) {
    auditSettings(false, 0, true, true);
    Platform::Error error = untouched();
    EXPECT_TRUE(sender.sendAuditLogs({}, &error)) << "the library, with auditing off, would answer false";
    EXPECT_FALSE(sender.sendAuditLogs({step("a")}, &error));
    EXPECT_EQ(error, untouched());
    EXPECT_TRUE(received("AuditLog").empty());

    VLAuditLogSender withoutApiObject(nullptr, nullptr);
    ASSERT_TRUE(withoutApiObject.adapter());
    EXPECT_FALSE(withoutApiObject.sendAuditLogs({step("a")}, &error));
    EXPECT_EQ(error, untouched());
}

TEST_F(AuditSenderOnTheService, LinesAreSentInChunksOfTheFrameworksLimits) {
    auditSettings(true, 0, true, true);
    std::vector<std::string> lines;
    for (int i = 0; i < 620; ++i) lines.push_back(step("small-" + std::to_string(i)));
    // About 1 kB each: their chunks close at their byte limit.
    for (int i = 0; i < 450; ++i) lines.push_back(step("big-" + std::to_string(i) + "-" + std::string(400, 'x')));
    EXPECT_TRUE(sender.sendAuditLogs(lines, nullptr));
    const std::vector<std::string> texts = receivedTexts("AuditLog");
    ASSERT_GE(texts.size(), 3u);
    size_t next = 0;
    size_t closedByBytes = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(texts[i].size(), VLAuditLogSender::kMaxChunkBytes);
        EXPECT_EQ(texts[i].back(), '\n');
        const Json::Value entries = parseJson(texts[i])["entries"];
        EXPECT_LE(entries.size(), VLAuditLogSender::kMaxChunkEntries);
        if (i == 0) {
            EXPECT_EQ(entries.size(), 500u) << "closed by its events";
        }
        if (i > 0 && i + 1 < texts.size() && entries.size() < 500) ++closedByBytes;
        for (const Json::Value& entry : entries) {
            const std::string expected = next < 620 ? "small-" + std::to_string(next) : "big-" + std::to_string(next - 620) + "-";
            EXPECT_EQ(entry["item"].asString().substr(0, expected.size()), expected) << "in order, none lost";
            ++next;
        }
    }
    EXPECT_GE(closedByBytes, 1u);
    EXPECT_EQ(next, lines.size());
}

TEST_F(AuditSenderOnTheService, ABatchOverTheByteLimitIsSplitOverChunks) {
    auditSettings(true, 0, true, true);
    // About 3 kB each: the first batch of 100 alone is over 250,000 bytes.
    std::vector<std::string> lines;
    for (int i = 0; i < 150; ++i) lines.push_back(step("wide-" + std::to_string(i) + "-" + std::string(1400, 'w')));
    EXPECT_TRUE(sender.sendAuditLogs(lines, nullptr));
    const std::vector<std::string> texts = receivedTexts("AuditLog");
    ASSERT_GE(texts.size(), 2u);
    size_t next = 0;
    for (const std::string& text : texts) {
        EXPECT_LE(text.size(), VLAuditLogSender::kMaxChunkBytes);
        const Json::Value chunk = parseJson(text);
        for (const Json::Value& entry : chunk["entries"]) {
            const std::string expected = "wide-" + std::to_string(next++) + "-";
            EXPECT_EQ(entry["item"].asString().substr(0, expected.size()), expected);
        }
    }
    EXPECT_EQ(next, lines.size());
}

TEST_F(AuditSenderOnTheService, LinesOfTheWrongShapeAndEventsOverTheLimitAreLeftOutWithALogLine) {
    auditSettings(true, 0, true, true);
    VxMeta::testing::LogCatcher log;
    Platform::Error error = untouched();
    EXPECT_TRUE(sender.sendAuditLogs({R"({"category":"step","status":[1]})", step("huge-" + std::string(260000, 'x')),
                                      "{\"category\":\"step\",\"item\":\"\xff\"}", step("kept")},
                                     &error));
    EXPECT_EQ(error, untouched());
    EXPECT_TRUE(log.saw("Skipped audit log line"));
    EXPECT_TRUE(log.saw("Audit event dropped"));
    const std::vector<Json::Value> bodies = received("AuditLog");
    ASSERT_EQ(bodies.size(), 1u);
    ASSERT_EQ(bodies[0]["entries"].size(), 1u);
    EXPECT_EQ(bodies[0]["entries"][0]["item"], "kept");
}

TEST_F(AuditSenderOnTheService, FailoverThatRunsOutIsTheFrameworksError) {
    auditSettings(true, 0, true, true);
    // Every post is sent on to the master, which is this server again: the failover wrapper gives up.
    Json::Value redirect;
    redirect["kind"] = "send_to_master";
    redirect["path"] = "AuditLog";
    service.fault(redirect);
    Platform::Error error;
    EXPECT_FALSE(sender.sendAuditLogs({step("a")}, &error));
    EXPECT_EQ(error.domain, VorlaneBridge::VLErrorDomain);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(VorlaneBridge::vxmetaCategory(error), std::optional<std::string>(VXMECAT_COMMUNICATION_ERROR));
    EXPECT_TRUE(VorlaneBridge::vxmetaMessage(error).has_value());
    EXPECT_FALSE(sender.sendAuditLogs({step("b")}, nullptr)) << "no error asked for";
}

} // namespace
