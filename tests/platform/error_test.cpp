#include "Platform/error.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformError, DescriptionComesFromTheTextMapElseNamesDomainAndCode) {
    Platform::Error described("VxArchiveErrorDomain", 4, {{Platform::kLocalizedDescriptionKey, "Cancelled"}});
    EXPECT_EQ(described.localizedDescription(), "Cancelled");

    Platform::Error bare("VxArchiveErrorDomain", 4);
    EXPECT_EQ(bare.localizedDescription(), "The operation couldn\u2019t be completed. (VxArchiveErrorDomain error 4.)");
}

TEST(PlatformError, FailWithFillsOnlyAnOutParameterTheCallerGave) {
    Platform::Error out;
    EXPECT_FALSE(Platform::failWith(&out, Platform::Error("D", 7, {{"k", "v"}})));
    EXPECT_EQ(out, Platform::Error("D", 7, {{"k", "v"}}));
    EXPECT_FALSE(Platform::failWith(nullptr, Platform::Error("D", 7)));
}

} // namespace
