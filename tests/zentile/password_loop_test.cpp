// The password loop of encrypted entries: attempts 0 to max(1, retries) - 1, the four decisions, a wrong
// password caught by the check byte, the verifier, the CRC or the authentication code, and partial output
// never left behind.
#include <gtest/gtest.h>

#include "support/zentile_test_support.h"

namespace ZentileTest {
namespace {

using namespace Zentile;

std::optional<ZIPDecryptResult> use(const std::string& password) {
    return ZIPDecryptResult(ZIPDecryptDecision::UsePassword, password);
}
std::optional<ZIPDecryptResult> decide(ZIPDecryptDecision decision) {
    return ZIPDecryptResult(decision, std::nullopt);
}

struct Encrypted {
    const char* label;
    const char* tool;
    const char* command; // run in the input folder, password "right"
};

const Encrypted kFormats[] = {
    {"InfoZipTraditional", "zip", "zip -q -r -P right ../archive.zip one.txt two.txt three.txt"},
    {"BsdtarAes256", "bsdtar",
     "bsdtar --format zip --options zip:encryption=aes256 --passphrase right -cf ../archive.zip one.txt two.txt three.txt"},
};

struct LoopCase {
    const char* label;
    std::vector<std::optional<ZIPDecryptResult>> answers;
    std::uint32_t retries;
    bool succeeds;                          // the extraction as a whole
    std::vector<std::string> questions;     // "file attempt"
    std::map<std::string, std::uint32_t> results;
    std::vector<std::string> written;       // files in the destination afterwards
};

std::vector<LoopCase> loopCases() {
    return {
        {"WrongTwiceThenRight", {use("bad1"), use("bad2"), use("right")}, 3, true,
         {"one.txt 0", "one.txt 1", "one.txt 2", "two.txt 0", "three.txt 0"},
         {{"one.txt", 0}, {"two.txt", 0}, {"three.txt", 0}}, {"one.txt", "three.txt", "two.txt"}},
        {"AttemptsUsedUpIsPerFile", {use("bad")}, 2, true,
         {"one.txt 0", "one.txt 1", "two.txt 0", "two.txt 1", "three.txt 0", "three.txt 1"},
         {{"one.txt", 6}, {"two.txt", 6}, {"three.txt", 6}}, {}},
        {"NoRetriesStillOneAttempt", {use("bad")}, 0, true, {"one.txt 0", "two.txt 0", "three.txt 0"},
         {{"one.txt", 6}, {"two.txt", 6}, {"three.txt", 6}}, {}},
        {"SkipFileAsksForTheNext", {decide(ZIPDecryptDecision::SkipFile), use("right")}, 3, true,
         {"one.txt 0", "two.txt 0", "three.txt 0"}, {{"one.txt", 8}, {"two.txt", 0}, {"three.txt", 0}},
         {"three.txt", "two.txt"}},
        {"SkipAllAsksNoMore", {use("bad"), decide(ZIPDecryptDecision::SkipAll)}, 3, true, {"one.txt 0", "one.txt 1"},
         {{"one.txt", 8}, {"two.txt", 8}, {"three.txt", 8}}, {}},
        {"CancelStopsEverything", {use("right"), decide(ZIPDecryptDecision::Cancel)}, 3, false,
         {"one.txt 0", "two.txt 0"}, {{"one.txt", 0}}, {}},
        {"NoAnswerIsAMissingPassword", {std::nullopt}, 3, true, {"one.txt 0", "two.txt 0", "three.txt 0"},
         {{"one.txt", 7}, {"two.txt", 7}, {"three.txt", 7}}, {}},
    };
}

class PasswordLoop : public ::testing::TestWithParam<Encrypted> {};

TEST_P(PasswordLoop, FollowsEveryDecision) {
    const Encrypted& format = GetParam();
    if (!toolPresent(format.tool)) {
        GTEST_SKIP() << format.tool << " is not installed";
    }
    ScratchFolder scratch;
    fs::path input = scratch.path() / "input";
    writeFile(input / "one.txt", sampleBytes(200'000, 11, true));
    writeFile(input / "two.txt", sampleBytes(3'000'000, 12, true));
    writeFile(input / "three.txt", sampleBytes(5'000, 13, false));
    ASSERT_EQ(run(format.command, input), 0);

    for (const auto& loop : loopCases()) {
        SCOPED_TRACE(loop.label);
        auto log = std::make_shared<CallLog>();
        auto decryption = std::make_shared<ScriptedDecryption>(log, loop.answers, loop.retries);
        auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr,
                                                                     decryption);
        auto opened = openArchive(scratch.path() / "archive.zip");
        ASSERT_TRUE(opened.archive);
        fs::path output = scratch.path() / (std::string("out-") + loop.label);
        auto result = extractAll(opened.archive, output, delegate);
        EXPECT_EQ(result.ok, loop.succeeds);
        if (!loop.succeeds) {
            EXPECT_EQ(result.error.domain, VxArchiveErrorDomain);
            EXPECT_EQ(result.error.code, ZIPErrorCancelled);
            EXPECT_FALSE(fs::exists(output)) << "the cancelled extraction made the destination, so removes it";
        }
        std::vector<std::string> questions;
        for (const auto& call : log->calls) {
            if (call.rfind("password ", 0) == 0) {
                questions.push_back(call.substr(9));
            }
        }
        EXPECT_EQ(questions, loop.questions);
        EXPECT_EQ(fileResults(*log), loop.results);
        std::vector<std::string> written;
        if (fs::exists(output)) {
            for (const auto& [path, content] : snapshot(output)) {
                written.push_back(path);
                EXPECT_EQ(content, readFile(input / path)) << path;
            }
        }
        EXPECT_EQ(written, loop.written) << "no partial, wrong or staged output stays";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PasswordLoop, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Encrypted>& param) { return std::string(param.param.label); });

// A wrong password that passes the traditional check byte (about 1 in 256 do) is caught by the stream or
// the CRC, counted as a wrong attempt, and asked again; nothing of its output stays.
TEST(PasswordLoopTraditional, WrongPasswordPassingTheCheckByteCountsAsWrong) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path input = scratch.path() / "input";
    writeFile(input / "one.txt", sampleBytes(100'000, 21, true));
    ASSERT_EQ(run("zip -q -P right ../archive.zip one.txt", input), 0);
    // Python's own reading of the cipher (independent of ours) finds such a password.
    std::string finder =
        "import zipfile, sys\n"
        "z = zipfile.ZipFile('archive.zip'); i = z.infolist()[0]\n"
        "f = open('archive.zip', 'rb'); f.seek(i.header_offset); h = f.read(30)\n"
        "f.seek(i.header_offset + 30 + int.from_bytes(h[26:28], 'little') + int.from_bytes(h[28:30], 'little'))\n"
        "enc = f.read(12)\n"
        "check = (i._raw_time >> 8) & 0xff if i.flag_bits & 8 else (i.CRC >> 24) & 0xff\n"
        "for k in range(1000000):\n"
        "    pw = b'wrong%d' % k\n"
        "    if zipfile._ZipDecrypter(pw)(enc)[11] == check:\n"
        "        open('found.txt', 'wb').write(pw); break\n";
    ASSERT_EQ(run(std::string(VX_PYTHON) + " -c " + quote(finder), scratch.path()), 0);
    std::string lucky = readFile(scratch.path() / "found.txt");
    ASSERT_FALSE(lucky.empty());

    auto log = std::make_shared<CallLog>();
    auto decryption = std::make_shared<ScriptedDecryption>(log, std::vector{use(lucky), use("right")}, 3);
    auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log), nullptr,
                                                                 decryption);
    auto opened = openArchive(scratch.path() / "archive.zip");
    ASSERT_TRUE(opened.archive);
    auto result = extractAll(opened.archive, scratch.path() / "out", delegate);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(fileResults(*log), (std::map<std::string, std::uint32_t>{{"one.txt", 0}}));
    std::vector<std::string> questions;
    for (const auto& call : log->calls) {
        if (call.rfind("password ", 0) == 0) {
            questions.push_back(call);
        }
    }
    EXPECT_EQ(questions, (std::vector<std::string>{"password one.txt 0", "password one.txt 1"}));
    EXPECT_EQ(snapshot(scratch.path() / "out"), snapshot(input));
}

// A password set on the archive is tried first; the delegate is asked only when it fails.
TEST(PasswordLoopTraditional, ArchivePasswordIsTriedBeforeTheDelegate) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path input = scratch.path() / "input";
    writeFile(input / "a.txt", "a\n");
    ASSERT_EQ(run("zip -q -P right ../archive.zip a.txt", input), 0);
    for (const char* preset : {"right", "wrong"}) {
        auto log = std::make_shared<CallLog>();
        auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(nullptr, nullptr, passwordAnswer(log, "right"));
        auto opened = openArchive(scratch.path() / "archive.zip");
        ASSERT_TRUE(opened.archive);
        opened.archive->setPassword(std::string(preset));
        fs::path output = scratch.path() / (std::string("out-") + preset);
        ASSERT_TRUE(extractAll(opened.archive, output, delegate).ok);
        EXPECT_EQ(readFile(output / "a.txt"), "a\n");
        EXPECT_EQ(log->calls.size(), std::string(preset) == "right" ? 0u : 1u) << preset;
    }
}

} // namespace
} // namespace ZentileTest
