// A cancel removes exactly what the extraction created and fails with code 4; a name collision asks the
// filter delegate (action 1) for a new leaf name and accepts only one safe path component.
#include <gtest/gtest.h>

#include "support/zentile_test_support.h"

namespace ZentileTest {
namespace {

using namespace Zentile;

// report.txt, docs/a.txt, docs/b.txt and big.txt, made by Info-ZIP zip.
fs::path makeArchive(const fs::path& scratch) {
    fs::path input = scratch / "input";
    writeFile(input / "report.txt", "from the archive\n");
    writeFile(input / "docs/a.txt", sampleBytes(400'000, 31, true));
    writeFile(input / "docs/b.txt", sampleBytes(10, 32, true));
    writeFile(input / "big.txt", sampleBytes(6'000'000, 33, false));
    EXPECT_EQ(run("zip -q -r ../archive.zip report.txt docs big.txt", input), 0);
    return scratch / "archive.zip";
}

TEST(CancelAndCollision, CancelRemovesOnlyWhatTheExtractionCreated) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path archivePath = makeArchive(scratch.path());
    // Cancels at the begin of a file, during a file's bytes, and at the begin of the extraction.
    for (const char* cancelAt : {"begin 13 docs/b.txt", "progress 5 big.txt", "begin 12"}) {
        SCOPED_TRACE(cancelAt);
        fs::path destination = scratch.path() / "dest";
        fs::remove_all(destination);
        writeFile(destination / "keep.txt", "mine\n");
        fs::create_directories(destination / "mine");
        auto before = snapshot(destination);

        auto log = std::make_shared<CallLog>();
        auto progress = std::make_shared<RecordingProgress>(log);
        progress->cancelAt = cancelAt;
        auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(progress, nullptr, nullptr);
        auto opened = openArchive(archivePath);
        ASSERT_TRUE(opened.archive);
        auto result = extractAll(opened.archive, destination, delegate);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error.domain, VxArchiveErrorDomain);
        EXPECT_EQ(result.error.code, ZIPErrorCancelled);
        EXPECT_EQ(snapshot(destination), before);
        EXPECT_EQ(log->calls.back(), "end 12 archive.zip 4");
    }
}

TEST(CancelAndCollision, CancelWhileLoadingFailsWithCodeFour) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path archivePath = makeArchive(scratch.path());
    auto log = std::make_shared<CallLog>();
    auto progress = std::make_shared<RecordingProgress>(log);
    progress->cancelAt = "progress 10 docs/a.txt";
    auto opened = openArchive(archivePath, std::make_shared<ConcreteZIPArchiveDelegate>(progress, nullptr, nullptr));
    EXPECT_FALSE(opened.archive);
    EXPECT_EQ(opened.error.code, ZIPErrorCancelled);
    EXPECT_EQ(log->calls.back(), "end 10 archive.zip 4");
}

// Answers each password question by first running `meanwhile` (what the user does while asked), then
// cancelling.
class CancelAfter : public ZIPDecryptDelegate {
public:
    explicit CancelAfter(std::function<void()> meanwhile) : meanwhile_(std::move(meanwhile)) {}
    std::uint32_t maximumNumberOfRetries() override { return 3; }
    std::optional<ZIPDecryptResult> passwordForArchive(const std::shared_ptr<ZIPArchive>&, const std::optional<std::string>&,
                                                       const std::shared_ptr<const ZIPKMS>&, std::uint32_t) override {
        meanwhile_();
        return ZIPDecryptResult(ZIPDecryptDecision::Cancel, std::nullopt);
    }

private:
    std::function<void()> meanwhile_;
};

// While the extraction waits for a password, the user puts their own things where it had placed its
// items: a file saved over a placed one, a placed folder swapped for a link to a folder of theirs. The
// cancel removes what is still the extraction's, never what took its place.
TEST(CancelAndCollision, CancelLeavesWhatReplacedTheExtractionsItems) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path input = scratch.path() / "input";
    writeFile(input / "report.txt", "from the archive\n");
    writeFile(input / "docs/a.txt", "archive a\n");
    writeFile(input / "notes/n.txt", "archive n\n");
    writeFile(input / "secret.txt", "secret\n");
    ASSERT_EQ(run("zip -q -r ../archive.zip report.txt docs notes && zip -q -P pw ../archive.zip secret.txt", input), 0);

    fs::path destination = scratch.path() / "dest";
    fs::path theirs = scratch.path() / "theirs";
    writeFile(theirs / "a.txt", "the user's a\n");
    auto decryption = std::make_shared<CancelAfter>([&] {
        writeFile(scratch.path() / "saved.tmp", "the user's report\n");
        fs::rename(scratch.path() / "saved.tmp", destination / "report.txt");
        fs::rename(destination / "docs", scratch.path() / "docs.old");
        fs::create_directory_symlink(theirs, destination / "docs");
    });
    auto opened = openArchive(scratch.path() / "archive.zip");
    ASSERT_TRUE(opened.archive);
    auto result = extractAll(opened.archive, destination,
                             std::make_shared<ConcreteZIPArchiveDelegate>(nullptr, nullptr, decryption));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error.code, ZIPErrorCancelled);
    EXPECT_EQ(snapshot(destination), (std::map<std::string, std::string>{
                                         {"docs", "-> " + theirs.string()}, {"report.txt", "the user's report\n"}}));
    EXPECT_EQ(readFile(theirs / "a.txt"), "the user's a\n");
}

struct CollisionCase {
    const char* label;
    std::function<std::optional<std::string>(const std::string&)> answer;
    std::vector<std::string> questions;
    std::map<std::string, std::uint32_t> results;
    std::map<std::string, std::string> added; // new items beside what was there
};

TEST(CancelAndCollision, CollisionsAskTheFilterForOneSafeLeafName) {
    if (!toolPresent("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ScratchFolder scratch;
    fs::path archivePath = makeArchive(scratch.path());
    std::string a = readFile(scratch.path() / "input/docs/a.txt");
    std::string b = readFile(scratch.path() / "input/docs/b.txt");
    std::string big = readFile(scratch.path() / "input/big.txt");
    std::map<std::string, std::uint32_t> allGood = {{"report.txt", 0}, {"docs/a.txt", 0}, {"docs/b.txt", 0}, {"big.txt", 0}};
    std::vector<CollisionCase> cases = {
        {"CopyNames", [](const std::string& leaf) { return std::optional<std::string>(leaf + " copy"); },
         {"replace report.txt 1", "replace docs 1"}, allGood,
         {{"report.txt copy", "from the archive\n"}, {"docs copy", "/"}, {"docs copy/a.txt", a}, {"docs copy/b.txt", b},
          {"big.txt", big}}},
        {"AskedAgainWhileTheAnswerCollides",
         [](const std::string& leaf) {
             return std::optional<std::string>(leaf == "report.txt" ? "taken.txt" : leaf == "taken.txt" ? "fresh.txt" : leaf + "2");
         },
         {"replace report.txt 1", "replace taken.txt 1", "replace docs 1"}, allGood,
         {{"fresh.txt", "from the archive\n"}, {"docs2", "/"}, {"docs2/a.txt", a}, {"docs2/b.txt", b}, {"big.txt", big}}},
        {"UnsafeAnswersAreRefused",
         [](const std::string& leaf) { return std::optional<std::string>(leaf == "report.txt" ? "../escape.txt" : "x/y"); },
         {"replace report.txt 1", "replace docs 1"},
         {{"report.txt", ZIPErrorExists}, {"docs/a.txt", 0}, {"docs/b.txt", 0}, {"big.txt", 0}},
         // The folder is kept by its name when the answer is refused: the files go into the existing folder.
         {{"docs/a.txt", a}, {"docs/b.txt", b}, {"big.txt", big}}},
        {"NoNameKeepsFilesOut", [](const std::string&) { return std::optional<std::string>(); },
         {"replace report.txt 1", "replace docs 1"},
         {{"report.txt", ZIPErrorExists}, {"docs/a.txt", 0}, {"docs/b.txt", 0}, {"big.txt", 0}},
         {{"docs/a.txt", a}, {"docs/b.txt", b}, {"big.txt", big}}},
    };
    for (const auto& collision : cases) {
        SCOPED_TRACE(collision.label);
        fs::path sandbox = scratch.path() / collision.label;
        fs::path destination = sandbox / "dest";
        writeFile(destination / "report.txt", "the user's own\n");
        writeFile(destination / "taken.txt", "taken\n");
        writeFile(destination / "docs/user.txt", "user\n");
        auto before = snapshot(destination);

        auto log = std::make_shared<CallLog>();
        auto delegate = std::make_shared<ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log),
                                                                     std::make_shared<ScriptedFilter>(log, collision.answer),
                                                                     nullptr);
        auto opened = openArchive(archivePath);
        ASSERT_TRUE(opened.archive);
        ASSERT_TRUE(extractAll(opened.archive, destination, delegate).ok);
        std::vector<std::string> questions;
        for (const auto& call : log->calls) {
            if (call.rfind("replace ", 0) == 0) {
                questions.push_back(call);
            }
        }
        EXPECT_EQ(questions, collision.questions);
        EXPECT_EQ(fileResults(*log), collision.results);
        auto expected = before;
        expected.insert(collision.added.begin(), collision.added.end());
        EXPECT_EQ(snapshot(destination), expected);
        EXPECT_EQ(snapshot(sandbox).size(), expected.size() + 1) << "nothing beside the destination";
    }
}

} // namespace
} // namespace ZentileTest
