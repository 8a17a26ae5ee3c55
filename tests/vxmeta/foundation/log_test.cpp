#include "vxmeta/foundation/log.h"

#include <gtest/gtest.h>

#include <vector>

#include "vxmeta/foundation/comm_log_entry.h"

using namespace VxMeta;

namespace {

std::vector<std::pair<int, std::string>> lines;
void collect(int level, const std::string& text) { lines.emplace_back(level, text); }

class Log : public ::testing::Test {
protected:
    void SetUp() override {
        lines.clear();
        logCallback = collect;
    }
    void TearDown() override {
        logCallback = nullptr;
        setLogLevel(4);
    }
};

TEST_F(Log, TextOfEveryLengthUpToTheCutIsWrittenWhole) {
    // 1023 fits the first buffer with its zero; 1024 needs the second; 32767 is the longest whole text.
    for (size_t length : {size_t{0}, size_t{1023}, size_t{1024}, size_t{2047}, size_t{2048}, size_t{32767}}) {
        lines.clear();
        const std::string text(length, 'x');
        writeLog(4, "%s", text.c_str());
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].second, text) << length;
        EXPECT_EQ(lines[0].first, 4);
    }
}

TEST_F(Log, LongerTextIsCutAt32767Characters) {
    std::string text(40000, 'a');
    text[32766] = 'b';
    writeLog(1, "%s", text.c_str());
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].second.size(), 32767u);
    EXPECT_EQ(lines[0].second.back(), 'b');
}

TEST_F(Log, FormatsArguments) {
    writeLog(2, "Teamdata=%s signature invalid (%d)", "t1", 7);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].second, "Teamdata=t1 signature invalid (7)");
}

TEST_F(Log, LineBelowTheLevelIsNotFormattedNorItsArgumentsEvaluated) {
    int evaluated = 0;
    auto argument = [&] {
        ++evaluated;
        return "x";
    };
    VXLOG(5, "detail %s", argument());
    EXPECT_EQ(evaluated, 0);
    EXPECT_TRUE(lines.empty());
    VXLOG(4, "info %s", argument());
    EXPECT_EQ(evaluated, 1);
    ASSERT_EQ(lines.size(), 1u);
    setLogLevel(5);
    VXLOG(5, "detail %s", argument());
    EXPECT_EQ(evaluated, 2);
    setLogLevel(0);
    VXLOG(1, "error %s", argument());
    EXPECT_EQ(evaluated, 2);
}

TEST(LogStdout, OneLinePerCallWithoutPrefix) {
    ASSERT_EQ(logCallback.load(), nullptr);
    testing::internal::CaptureStdout();
    writeLog(4, "first %d", 1);
    writeLog(3, "ends with a line end\n");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "first 1\nends with a line end\n\n");
}

TEST(CommLogEntry, EmptyBeforeTheFirstExchangeThenACopyOfTheLast) {
    CommLogEntry first = CommLogEntry::getLast();
    EXPECT_TRUE(first.request.empty());
    EXPECT_TRUE(first.extra.empty());
    EXPECT_TRUE(first.response.empty());
    EXPECT_EQ(first.status, 0);

    CommLogEntry entry;
    entry.request = "GET https://h/api/v1.0/etag/0\n";
    entry.status = 200;
    entry.response = "{}";
    CommLogEntry::setLast(entry);
    entry.response = "changed afterwards";
    CommLogEntry last = CommLogEntry::getLast();
    EXPECT_EQ(last.request, "GET https://h/api/v1.0/etag/0\n");
    EXPECT_EQ(last.status, 200);
    EXPECT_EQ(last.response, "{}");
}

} // namespace
