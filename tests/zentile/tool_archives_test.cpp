// Archives made at test time by everyday tools (Info-ZIP zip, 7z, bsdtar, Python zipfile) extract
// byte-identical to their inputs, with progress reported in entry order.
#include <gtest/gtest.h>

#include "support/zentile_test_support.h"

namespace ZentileTest {
namespace {

using namespace Zentile;

// The input tree every tool packs: small and large, compressible and not, empty, nested, a UTF-8 name
// and an empty folder.
void makeInput(const fs::path& root) {
    writeFile(root / "docs/readme.txt", sampleBytes(10'000, 1, true));
    writeFile(root / "docs/nested/deep/data.bin", sampleBytes(300'000, 2, false));
    writeFile(root / "big/large.txt", sampleBytes(3'500'000, 3, true));
    writeFile(root / "big/noise.bin", sampleBytes(2'500'000, 4, false));
    writeFile(root / "empty.txt", "");
    writeFile(root / "na\xC3\xAFve \xE2\x80\x93 \xC3\xBC.txt", "unicode name\n");
    fs::create_directories(root / "emptydir");
}

struct ToolCase {
    const char* label;
    const char* tool;       // must be installed
    const char* command;    // run inside the input folder; writes ../archive.zip
    const char* password;   // "" for none
};

std::string pythonWriter(const char* compression) {
    return std::string(VX_PYTHON) + " -c " +
           quote(std::string("import os, zipfile\n"
                             "with zipfile.ZipFile('../archive.zip', 'w', zipfile.") + compression + ") as z:\n"
                             "    for d, subdirs, files in sorted(os.walk('.')):\n"
                             "        for n in sorted(subdirs + files):\n"
                             "            p = os.path.join(d, n)[2:]\n"
                             "            z.write(p, p)\n");
}

class ToolArchives : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolArchives, ExtractByteIdentical) {
    const ToolCase& tool = GetParam();
    if (!toolPresent(tool.tool)) {
        GTEST_SKIP() << tool.tool << " is not installed (scripts/install-deps installs it)";
    }
    ScratchFolder scratch;
    fs::path input = scratch.path() / "input";
    makeInput(input);
    std::string command = tool.command;
    if (command.rfind("python:", 0) == 0) {
        command = pythonWriter(command.substr(7).c_str());
    }
    ASSERT_EQ(run(command, input), 0) << command;

    auto log = std::make_shared<CallLog>();
    auto progress = std::make_shared<RecordingProgress>(log);
    std::shared_ptr<ZIPDecryptDelegate> decryption;
    if (*tool.password != '\0') {
        decryption = passwordAnswer(log, tool.password);
    }
    auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(progress, nullptr, decryption);
    auto opened = openArchive(scratch.path() / "archive.zip", delegate);
    ASSERT_TRUE(opened.archive) << opened.error.localizedDescription();
    EXPECT_EQ(opened.archive->name(), "archive.zip");
    EXPECT_EQ(opened.archive->numberOfFiles(), 6);

    fs::path output = scratch.path() / "output";
    auto result = extractAll(opened.archive, output, delegate);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();
    EXPECT_EQ(snapshot(output), snapshot(input));
    for (const auto& [item, code] : fileResults(*log)) {
        EXPECT_EQ(code, 0u) << item;
    }
    EXPECT_EQ(fileResults(*log).size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolArchives,
    ::testing::Values(
        ToolCase{"InfoZipDeflate", "zip", "zip -q -r ../archive.zip .", ""},
        ToolCase{"InfoZipTraditional", "zip", "zip -q -r -P 'pa ss' ../archive.zip .", "pa ss"},
        ToolCase{"SevenZipAes256", "7z", "7z a -tzip -p'pa ss' -mem=AES256 ../archive.zip .", "pa ss"},
        ToolCase{"SevenZipDeflate", "7z", "7z a -tzip ../archive.zip .", ""},
        ToolCase{"BsdtarAes128", "bsdtar",
                 "bsdtar --format zip --options zip:encryption=aes128 --passphrase 'pa ss' -cf ../archive.zip .",
                 "pa ss"},
        ToolCase{"BsdtarAes256", "bsdtar",
                 "bsdtar --format zip --options zip:encryption=aes256 --passphrase 'pa ss' -cf ../archive.zip .",
                 "pa ss"},
        ToolCase{"BsdtarTraditional", "bsdtar",
                 "bsdtar --format zip --options zip:encryption=traditional --passphrase 'pa ss' -cf ../archive.zip .",
                 "pa ss"},
        ToolCase{"PythonStored", "python3", "python:ZIP_STORED", ""},
        ToolCase{"PythonDeflate", "python3", "python:ZIP_DEFLATED", ""},
        ToolCase{"PythonBzip2", "python3", "python:ZIP_BZIP2", ""},
        ToolCase{"PythonLzma", "python3", "python:ZIP_LZMA", ""}),
    [](const ::testing::TestParamInfo<ToolCase>& param) { return std::string(param.param.label); });

// The progress vocabulary: loading (10) with a count per entry, then the extraction (12) announcing the
// total size (42) before the first file, each file (13) with its bytes (5) rising to its size, in entry
// order, and the end of the extraction last.
TEST(ToolArchiveProgress, ReportsLoadingAndEveryFileInEntryOrder) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path input = scratch.path() / "input";
    writeFile(input / "a.txt", sampleBytes(5'000'000, 5, true));
    writeFile(input / "b/c.bin", sampleBytes(1'000, 6, false));
    writeFile(input / "d.txt", "d\n");
    ASSERT_EQ(run("zip -q -r ../archive.zip a.txt b d.txt", input), 0);

    auto log = std::make_shared<CallLog>();
    auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr, nullptr);
    auto opened = openArchive(scratch.path() / "archive.zip", delegate);
    ASSERT_TRUE(opened.archive);
    std::vector<std::string> loading = {"begin 10 archive.zip 0", "progress 10 a.txt 1/4", "progress 10 b/ 2/4",
                                        "progress 10 b/c.bin 3/4", "progress 10 d.txt 4/4", "end 10 archive.zip 0"};
    EXPECT_EQ(log->calls, loading);
    log->calls.clear();

    auto result = extractAll(opened.archive, scratch.path() / "out", delegate);
    ASSERT_TRUE(result.ok);
    std::vector<std::string> outline;
    std::uint64_t last = 0;
    for (const auto& call : log->calls) {
        if (call.rfind("progress 5 a.txt ", 0) == 0) {
            auto bytes = std::stoull(call.substr(17));
            EXPECT_GE(bytes, last);
            EXPECT_LE(bytes, 5'000'000u);
            last = bytes;
            continue;
        }
        if (call.rfind("progress 5 ", 0) != 0) {
            outline.push_back(call);
        }
    }
    std::vector<std::string> expected = {"begin 12 archive.zip 5001002", "begin 42 archive.zip 5001002",
                                         "begin 13 a.txt 5000000", "end 13 a.txt 0",
                                         "begin 13 b/c.bin 1000", "end 13 b/c.bin 0",
                                         "begin 13 d.txt 2", "end 13 d.txt 0",
                                         "end 12 archive.zip 0"};
    EXPECT_EQ(outline, expected);
    EXPECT_EQ(last, 5'000'000u);
}

} // namespace
} // namespace ZentileTest
