// Entries large enough to be checked and written on a second thread while they are decoded: they
// extract byte-identical with their bytes reported rising, a CRC mismatch found by that thread fails
// the entry and leaves no file, and a cancel during the bytes removes what was created.
#include <gtest/gtest.h>

#include "support/zentile_test_support.h"

namespace ZentileTest {
namespace {

using namespace Zentile;

constexpr std::size_t kLargeText = 21'000'000;  // deflate, several blocks of the writer thread
constexpr std::size_t kLargeNoise = 17'500'000; // stored

// Python zipfile: large.txt (deflate), noise.bin (stored) and small.txt (deflate). With `badCrc`, the CRC
// of large.txt is changed in both of its headers.
fs::path makeArchive(const fs::path& scratch, bool badCrc) {
    fs::path input = scratch / "input";
    writeFile(input / "large.txt", sampleBytes(kLargeText, 41, true));
    writeFile(input / "noise.bin", sampleBytes(kLargeNoise, 42, false));
    writeFile(input / "small.txt", "small\n");
    std::string script =
        "import struct, zipfile\n"
        "with zipfile.ZipFile('../archive.zip', 'w') as z:\n"
        "    z.write('large.txt', compress_type=zipfile.ZIP_DEFLATED)\n"
        "    z.write('noise.bin', compress_type=zipfile.ZIP_STORED)\n"
        "    z.write('small.txt', compress_type=zipfile.ZIP_DEFLATED)\n";
    if (badCrc) {
        script +=
            "data = bytearray(open('../archive.zip', 'rb').read())\n"
            "central = data.index(b'PK\\x01\\x02')\n"
            "crc = struct.unpack_from('<I', data, central + 16)[0] ^ 0x00010000\n"
            "struct.pack_into('<I', data, central + 16, crc)\n"
            "struct.pack_into('<I', data, 14, crc)\n"
            "open('../archive.zip', 'wb').write(data)\n";
    }
    EXPECT_EQ(run(std::string(VX_PYTHON) + " -c " + quote(script), input), 0);
    return scratch / "archive.zip";
}

TEST(LargeEntries, ExtractByteIdenticalWithRisingBytes) {
    ScratchFolder scratch;
    auto log = std::make_shared<CallLog>();
    auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr,
                                                                 nullptr);
    auto opened = openArchive(makeArchive(scratch.path(), false), delegate);
    ASSERT_TRUE(opened.archive) << opened.error.localizedDescription();
    fs::path output = scratch.path() / "output";
    auto result = extractAll(opened.archive, output, delegate);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();
    EXPECT_EQ(snapshot(output), snapshot(scratch.path() / "input"));
    EXPECT_EQ(fileResults(*log), (std::map<std::string, std::uint32_t>{{"large.txt", 0}, {"noise.bin", 0}, {"small.txt", 0}}));

    // Each large file's bytes rise to its size and reach it.
    for (const auto& [name, size] : {std::pair<std::string, std::size_t>{"large.txt", kLargeText},
                                     std::pair<std::string, std::size_t>{"noise.bin", kLargeNoise}}) {
        SCOPED_TRACE(name);
        const std::string prefix = "progress 5 " + name + " ";
        std::uint64_t last = 0;
        for (const auto& call : log->calls) {
            if (call.rfind(prefix, 0) == 0) {
                auto bytes = std::stoull(call.substr(prefix.size()));
                EXPECT_GE(bytes, last);
                last = bytes;
            }
        }
        EXPECT_EQ(last, size);
    }
}

TEST(LargeEntries, CrcMismatchFailsTheEntryAndLeavesNoFile) {
    ScratchFolder scratch;
    auto log = std::make_shared<CallLog>();
    auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr,
                                                                 nullptr);
    auto opened = openArchive(makeArchive(scratch.path(), true), delegate);
    ASSERT_TRUE(opened.archive) << opened.error.localizedDescription();
    fs::path output = scratch.path() / "output";
    static_cast<void>(extractAll(opened.archive, output, delegate));
    auto results = fileResults(*log);
    EXPECT_NE(results["large.txt"], 0u);
    EXPECT_EQ(results["noise.bin"], 0u);
    EXPECT_EQ(results["small.txt"], 0u);
    EXPECT_FALSE(fs::exists(output / "large.txt"));
    EXPECT_EQ(readFile(output / "small.txt"), "small\n");
}

TEST(LargeEntries, CancelDuringTheBytesRemovesWhatWasCreated) {
    ScratchFolder scratch;
    fs::path archivePath = makeArchive(scratch.path(), false);
    for (const char* cancelAt : {"progress 5 large.txt", "progress 5 noise.bin"}) {
        SCOPED_TRACE(cancelAt);
        fs::path destination = scratch.path() / "dest";
        fs::remove_all(destination);
        writeFile(destination / "keep.txt", "mine\n");
        auto before = snapshot(destination);
        auto log = std::make_shared<CallLog>();
        auto progress = std::make_shared<RecordingProgress>(log);
        progress->cancelAt = cancelAt;
        auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(progress, nullptr, nullptr);
        auto opened = openArchive(archivePath);
        ASSERT_TRUE(opened.archive);
        auto result = extractAll(opened.archive, destination, delegate);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error.code, ZIPErrorCancelled);
        EXPECT_EQ(snapshot(destination), before);
    }
}

} // namespace
} // namespace ZentileTest
