// An archive opened a second time: the items handed out before stay readable, and extracting them is
// refused with a clear error instead of reading a directory that is gone; the new items extract.
#include <gtest/gtest.h>

#include "support/zentile_test_support.h"

namespace ZentileTest {
namespace {

using namespace Zentile;

TEST(ArchiveOpenedAgain, EarlierItemsStayReadableAndAreRefusedForExtraction) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path input = scratch.path() / "input";
    writeFile(input / "a.txt", "first\n");
    writeFile(input / "docs/b.txt", sampleBytes(5'000, 7, true));
    ASSERT_EQ(run("zip -q -r ../archive.zip a.txt docs", input), 0);

    auto opened = openArchive(scratch.path() / "archive.zip");
    ASSERT_TRUE(opened.archive);
    const ZIPItems earlier = opened.archive->children();
    ASSERT_EQ(earlier.size(), 2u);
    Platform::Error error;
    ASSERT_TRUE(opened.archive->openWithDelegate(nullptr, &error)) << error.localizedDescription();

    // What the earlier items tell about themselves is still there.
    auto file = std::dynamic_pointer_cast<ZIPFile>(earlier[0]);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name(), "a.txt");
    EXPECT_EQ(file->sizeUncompressed(), 6u);
    EXPECT_GT(file->sizeCompressed(), 0u);
    EXPECT_TRUE(file->lastModifiedDate().has_value());

    // Extracting them is refused, whole folders and single files alike; nothing is written.
    const ZIPItems cases[] = {earlier, {earlier[0]}, {earlier[1]}};
    for (const ZIPItems& items : cases) {
        Platform::Error refused;
        fs::path destination = scratch.path() / "refused";
        EXPECT_FALSE(opened.archive->extractItems(items, destination.string(), nullptr, &refused));
        EXPECT_EQ(refused.domain, VxArchiveErrorDomain);
        EXPECT_EQ(refused.code, ZIPErrorInvalidArgument);
        EXPECT_EQ(refused.localizedDescription(),
                  "An item comes from an earlier opening of the archive: list its items again");
        EXPECT_FALSE(fs::exists(destination));
    }

    // The items of the new opening extract.
    auto result = extractAll(opened.archive, scratch.path() / "out", nullptr);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();
    EXPECT_EQ(readFile(scratch.path() / "out/a.txt"), "first\n");
    EXPECT_EQ(readFile(scratch.path() / "out/docs/b.txt"), sampleBytes(5'000, 7, true));
}

} // namespace
} // namespace ZentileTest
