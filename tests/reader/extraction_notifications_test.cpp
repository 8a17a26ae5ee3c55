#include "TarvexReader/Pipeline/extraction_notifications.h"

#include <gtest/gtest.h>

#include "Zentile/zip_error.h"

namespace {

using TarvexReader::ExtractionResult;

struct ResultRow {
    std::uint64_t total, warnings, errors;
    const char* title;
    const char* text;
};

TEST(ExtractionNotifications, ResultTextsFollowTheCounts) {
    const char* location = "/home/u/Desktop/x";
    const ResultRow rows[] = {
        {5, 0, 0, "Tarvex: Success", "5 file(s) from x.zip were unzipped to /home/u/Desktop/x"},
        {0, 0, 0, "Tarvex: Success", "0 file(s) from x.zip were unzipped to /home/u/Desktop/x"},
        {5, 2, 0, "Tarvex: Warning", "5 file(s) from x.zip were unzipped to /home/u/Desktop/x with 2 warning(s)"},
        {10, 0, 10, "Tarvex: Error", "No files were unzipped from x.zip"},
        {10, 4, 10, "Tarvex: Error", "No files were unzipped from x.zip"},
        {10, 0, 3, "Tarvex: Warning", "Only 7 of 10 file(s) from x.zip were unzipped to /home/u/Desktop/x with 0 warning(s)"},
        {10, 1, 9, "Tarvex: Warning", "Only 1 of 10 file(s) from x.zip were unzipped to /home/u/Desktop/x with 1 warning(s)"},
    };
    for (const auto& row : rows) {
        ExtractionResult result{"x.zip", location, row.total, row.warnings, row.errors};
        auto notification = TarvexReader::resultNotification(result, "x.zip");
        EXPECT_EQ(notification.title, row.title) << row.total << "/" << row.errors;
        EXPECT_EQ(notification.informativeText, row.text);
        EXPECT_EQ(notification.identifier, std::optional<std::string>("x.zip"));
    }
}

TEST(ExtractionNotifications, ErrorTextsFollowTheCodeWhateverTheDomain) {
    const std::tuple<const char*, long, const char*, const char*> rows[] = {
        {Zentile::VxArchiveErrorDomain, 6, "Tarvex: Error", "Incorrect passphrase or certificate not found, unable to open: a.zip"},
        {Zentile::VxArchiveErrorDomain, 7, "Tarvex: Error", "Incorrect passphrase or certificate not found, unable to open: a.zip"},
        {"OtherDomain", 9, "Tarvex: Error", "Incorrect passphrase or certificate not found, unable to open: a.zip"},
        {Zentile::VxArchiveErrorDomain, 4, "Tarvex: Cancel", "Unzip of a.zip was cancelled"},
        {"OtherDomain", 4, "Tarvex: Cancel", "Unzip of a.zip was cancelled"},
        {Zentile::VxArchiveErrorDomain, 1, "Tarvex: Error", "Unsupported or invalid archive: a.zip, status: 1"},
        {"", 0, "Tarvex: Error", "Unsupported or invalid archive: a.zip, status: 0"},
        {"OtherDomain", -17, "Tarvex: Error", "Unsupported or invalid archive: a.zip, status: -17"},
    };
    for (const auto& [domain, code, title, text] : rows) {
        auto notification = TarvexReader::errorNotification(Platform::Error(domain, code), "a.zip");
        EXPECT_EQ(notification.title, title) << code;
        EXPECT_EQ(notification.informativeText, text);
        EXPECT_FALSE(notification.identifier.has_value());
    }
}

} // namespace
