#include "TarvexReader/Pipeline/extraction_url_provider.h"

#include <gtest/gtest.h>

namespace {

using TarvexReader::ExtractionUrlProvider;

TEST(ExtractionUrlProvider, FolderNamesDropOnlyTheLastExtension) {
    const std::pair<const char*, const char*> rows[] = {
        {"report.zip", "report"}, {"photos.tar.zip", "photos.tar"}, {"noext", "noext"},
        {".zip", ".zip"},         {"a.", "a"},                      {"", ""},
    };
    for (const auto& [name, stem] : rows) {
        EXPECT_EQ(ExtractionUrlProvider::withoutPathExtension(name), stem) << name;
    }
}

TEST(ExtractionUrlProvider, OnlySingleSafeComponentsNameWhatACancelRemoves) {
    for (const char* safe : {"docs", "a b.txt", ".hidden", "..x", "\xC3\xA9t\xC3\xA9"}) {
        EXPECT_TRUE(ExtractionUrlProvider::isSafeComponent(safe)) << safe;
    }
    for (const char* unsafe : {"", ".", "..", "a/b", "/", "../Desktop", "docs/"}) {
        EXPECT_FALSE(ExtractionUrlProvider::isSafeComponent(unsafe)) << unsafe;
    }
    EXPECT_FALSE(ExtractionUrlProvider::isSafeComponent(std::string("a\0b", 3)));
}

} // namespace
