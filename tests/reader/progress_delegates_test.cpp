#include "TarvexReader/Progress/adapting_zip_progress_delegate.h"
#include "TarvexReader/Progress/reporting_zip_progress_delegate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace TarvexReader;

// Records what the delegate shows; answers `cancelled`.
struct RecordingDisplayer : ExtractProgressDisplayer {
    struct Call {
        std::string op;
        ProcessingEvent event;
        std::uint64_t current = 0;
        std::uint64_t maximum = 0;
    };
    std::vector<Call> calls;
    bool cancelled = false;

    bool displayEvent(const ProcessingEvent& event) override {
        calls.push_back({"event", event});
        return cancelled;
    }
    bool displayProgress(const ProcessingEvent& event, std::uint64_t current, std::uint64_t maximum) override {
        calls.push_back({"progress", event, current, maximum});
        return cancelled;
    }
    bool displayEventEnd(const ProcessingEvent& event) override {
        calls.push_back({"end", event});
        return cancelled;
    }
};

const auto archiveX = ItemTypes::archive("x.zip");

TEST(AdaptingZIPProgressDelegate, BytesAddUpAcrossTheArchiveAndUnfinishedFilesAreToppedUp) {
    auto displayer = std::make_shared<RecordingDisplayer>();
    AdaptingZIPProgressDelegate delegate(displayer, "x.zip");
    EXPECT_EQ(delegate.onBeginWithItem("x.zip", 12, std::nullopt, 3000), 0U);
    EXPECT_EQ(delegate.onBeginWithItem(std::nullopt, 42, std::nullopt, 3000), 0U);
    EXPECT_EQ(delegate.onBeginWithItem("a.txt", 13, std::nullopt, 1000), 0U);
    EXPECT_EQ(delegate.onProgressWithItem("a.txt", 5, std::nullopt, 400, 1000), 0U);
    EXPECT_EQ(delegate.onProgressWithItem("a.txt", 5, std::nullopt, 600, 1000), 0U);
    EXPECT_EQ(delegate.onEndWithItem("a.txt", 13, std::nullopt, 0), 0U);
    EXPECT_EQ(delegate.onEndWithItem("x.zip", 12, std::nullopt, 0), 0U);

    const auto& c = displayer->calls;
    ASSERT_EQ(c.size(), 7U);
    EXPECT_EQ(c[0].event, ProcessingEvent::extracting(archiveX));
    EXPECT_EQ(c[1].event, ProcessingEvent::extracting(ItemTypes::file("a.txt")));
    EXPECT_EQ(c[2].current, 400U);
    EXPECT_EQ(c[3].current, 600U);
    EXPECT_EQ(c[3].maximum, 3000U);
    EXPECT_EQ(c[4].op, "end");
    EXPECT_EQ(c[4].event, ProcessingEvent::extracting(ItemTypes::file("a.txt")));
    // The missing 400 bytes of a.txt are counted at its end.
    EXPECT_EQ(c[5].op, "progress");
    EXPECT_EQ(c[5].event, ProcessingEvent::extracting(archiveX));
    EXPECT_EQ(c[5].current, 1000U);
    EXPECT_EQ(c[6].op, "end");
    EXPECT_EQ(c[6].event, ProcessingEvent::extracting(archiveX));
}

TEST(AdaptingZIPProgressDelegate, LoadingEventsAndTheCancelledOpeningCloseTheWindow) {
    auto displayer = std::make_shared<RecordingDisplayer>();
    AdaptingZIPProgressDelegate delegate(displayer, "x.zip");
    delegate.onBeginWithItem("x.zip", 10, std::nullopt, 40);
    delegate.onProgressWithItem("x.zip", 10, std::string("docs/a.txt"), 12, 40);
    delegate.onEndWithItem("x.zip", 10, std::nullopt, 0);
    displayer->cancelled = true;
    EXPECT_EQ(delegate.onEndWithItem("x.zip", 10, std::nullopt, 4), 0U);
    const auto& c = displayer->calls;
    ASSERT_EQ(c.size(), 4U);
    EXPECT_EQ(c[0].event, ProcessingEvent::loading(archiveX));
    EXPECT_EQ(c[1].event, ProcessingEvent::loading(ItemTypes::file("docs/a.txt")));
    EXPECT_EQ(c[1].current, 12U);
    EXPECT_EQ(c[1].maximum, 40U);
    EXPECT_EQ(c[2].event, ProcessingEvent::loading(archiveX));
    EXPECT_EQ(c[3].op, "end");
    EXPECT_EQ(c[3].event, ProcessingEvent::extracting(archiveX));
}

TEST(AdaptingZIPProgressDelegate, AnswersStopOnceCancelledAndIgnoresWhatItCannotPlace) {
    auto displayer = std::make_shared<RecordingDisplayer>();
    AdaptingZIPProgressDelegate delegate(displayer, "x.zip");
    // An announced size of 0 gives a maximum of 1.
    delegate.onBeginWithItem(std::nullopt, 42, std::nullopt, 0);
    ASSERT_TRUE(delegate.archiveSizeTracker().has_value());
    EXPECT_EQ(delegate.archiveSizeTracker()->maxSize, 1U);
    // Bytes and ends of files whose begin never came change no counter.
    EXPECT_EQ(delegate.onProgressWithItem("ghost", 5, std::nullopt, 50, 100), 0U);
    EXPECT_EQ(delegate.onEndWithItem("ghost", 13, std::nullopt, 0), 0U);
    EXPECT_EQ(delegate.archiveSizeTracker()->currentSize, 0U);
    // Other types are not shown and never stop.
    displayer->cancelled = true;
    const auto before = displayer->calls.size();
    EXPECT_EQ(delegate.onBeginWithItem("x", 99, std::nullopt, 1), 0U);
    EXPECT_EQ(delegate.onProgressWithItem("x", 99, std::nullopt, 1, 1), 0U);
    EXPECT_EQ(delegate.onEndWithItem("x", 99, std::nullopt, 0), 0U);
    EXPECT_EQ(displayer->calls.size(), before);
    EXPECT_EQ(delegate.onBeginWithItem("x.zip", 12, std::nullopt, 0), 4U);
    EXPECT_EQ(delegate.onBeginWithItem("b", 13, std::nullopt, 5), 4U);
    EXPECT_EQ(delegate.onProgressWithItem("b", 5, std::nullopt, 5, 5), 4U);
    EXPECT_EQ(delegate.onEndWithItem("b", 13, std::nullopt, 0), 4U);
}

TEST(ReportingZIPProgressDelegate, CountsFilesErrorsAndWarningsAndForwardsEveryCallback) {
    auto displayer = std::make_shared<RecordingDisplayer>();
    auto adapting = std::make_shared<AdaptingZIPProgressDelegate>(displayer, "x.zip");
    ReportingZIPProgressDelegate reporting(adapting);
    struct EndRow {
        std::uint32_t type, result;
    };
    const EndRow ends[] = {{13, 0}, {13, 3}, {15, 0}, {15, 7}, {19, 2}, {16, 0}, {50, 1}, {12, 0}, {10, 0}};
    for (const auto& end : ends) {
        reporting.onEndWithItem("f", end.type, std::nullopt, end.result);
    }
    EXPECT_EQ(reporting.total(), 4U);
    EXPECT_EQ(reporting.errors(), 2U);
    EXPECT_EQ(reporting.warnings(), 2U);
    displayer->cancelled = true;
    EXPECT_EQ(reporting.onBeginWithItem("x.zip", 12, std::nullopt, 0), 4U);
    EXPECT_EQ(reporting.onProgressWithItem("x.zip", 10, std::string("p"), 1, 2), 4U);
}

} // namespace
