#include "TarvexReader/Collision/reader_zip_filter_delegate.h"

#include <gtest/gtest.h>

namespace {

using TarvexReader::ReaderZIPFilterDelegate;

struct CollisionRow {
    const char* item;
    const char* answer;
};

TEST(ReaderZIPFilterDelegate, CopyNamesWalkTheSequenceAndKeepTheLastExtension) {
    const CollisionRow rows[] = {
        {"report.pdf", "report copy.pdf"},
        {"report copy.pdf", "report copy 2.pdf"},
        {"report copy 2.pdf", "report copy 3.pdf"},
        {"report copy 9 final.pdf", "report copy 10.pdf"},
        {"notes", "notes copy"},
        {"archive.tar.gz", "archive copy.gz"},
        {"mycopy.txt", "mycopy 2.txt"},
        {".profile", " copy.profile"},
    };
    ReaderZIPFilterDelegate filter;
    for (const auto& row : rows) {
        EXPECT_EQ(filter.onReplaceItem(std::string(row.item), 1), std::optional<std::string>(row.answer)) << row.item;
    }
    EXPECT_EQ(filter.onReplaceItem(std::string("report.pdf"), 0), std::optional<std::string>(""));
}

TEST(ReaderZIPFilterDelegate, MissingNamesAndHugeCountersAnswerWithoutFailing) {
    ReaderZIPFilterDelegate filter;
    EXPECT_EQ(filter.onReplaceItem(std::nullopt, 1), std::optional<std::string>(""));
    EXPECT_EQ(ReaderZIPFilterDelegate::collisionName("a copy 18446744073709551615.txt"),
              "a copy 18446744073709551616.txt");
    EXPECT_EQ(ReaderZIPFilterDelegate::collisionName("a copy 18446744073709551614.txt"),
              "a copy 18446744073709551615.txt");
    // Digits beyond 64 bits count from 0.
    EXPECT_EQ(ReaderZIPFilterDelegate::collisionName("a copy 99999999999999999999999.txt"), "a copy 1.txt");
    EXPECT_EQ(ReaderZIPFilterDelegate::collisionName(""), " copy");
    EXPECT_EQ(ReaderZIPFilterDelegate::collisionName("a..b"), "a copy.b");
    EXPECT_EQ(ReaderZIPFilterDelegate::collisionName("trailing."), "trailing copy.");
}

} // namespace
