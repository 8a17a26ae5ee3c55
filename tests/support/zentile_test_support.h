// Helpers of the ZIP engine's tests: scratch folders, running the archivers, input trees, comparing
// trees, and delegates that record what the engine calls and answer from a script.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Zentile/zentile.h"

namespace ZentileTest {

namespace fs = std::filesystem;

// A fresh folder removed with everything in it at the end of the test.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Runs a shell command in `folder`; answers its exit status.
int run(const std::string& command, const fs::path& folder);
bool toolPresent(const std::string& tool);
std::string quote(const std::string& text);

void writeFile(const fs::path& path, const std::string& bytes);
std::string readFile(const fs::path& path);
// Deterministic bytes: text-like when `compressible`, random-looking otherwise.
std::string sampleBytes(std::size_t length, unsigned seed, bool compressible);

// Every file and folder below `root`, as relative paths to contents ("/" for folders, "-> target" for
// links), links not followed.
std::map<std::string, std::string> snapshot(const fs::path& root);

// The engine's calls, in order, as texts: "begin 13 a/b.txt 42", "progress 5 a/b.txt 10/42",
// "end 13 a/b.txt 0", "password a/b.txt 1", "replace b.txt 1".
struct CallLog {
    std::vector<std::string> calls;
};

class RecordingProgress : public Zentile::ZIPProgressDelegate {
public:
    explicit RecordingProgress(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
    std::uint32_t onBeginWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                  const std::optional<std::string>& parameter, std::uint64_t maxSize) override;
    std::uint32_t onProgressWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                     const std::optional<std::string>& parameter, std::uint64_t currentSize,
                                     std::uint64_t maxSize) override;
    std::uint32_t onEndWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                const std::optional<std::string>& parameter, std::uint32_t result) override;
    void setObject(const std::any&, std::uint32_t, const std::optional<std::string>&, std::uint32_t) override {}

    // Answers 4 from the call whose text starts with this prefix on (empty: never).
    std::string cancelAt;

private:
    std::uint32_t answer(const std::string& call);
    std::shared_ptr<CallLog> log_;
    bool cancelled_ = false;
};

// Answers each question with the next scripted result (then with the last one again).
class ScriptedDecryption : public Zentile::ZIPDecryptDelegate {
public:
    ScriptedDecryption(std::shared_ptr<CallLog> log, std::vector<std::optional<Zentile::ZIPDecryptResult>> answers,
                       std::uint32_t retries = 3)
        : log_(std::move(log)), answers_(std::move(answers)), retries_(retries) {}
    std::uint32_t maximumNumberOfRetries() override { return retries_; }
    std::optional<Zentile::ZIPDecryptResult> passwordForArchive(const std::shared_ptr<Zentile::ZIPArchive>& archive,
                                                                const std::optional<std::string>& file,
                                                                const std::shared_ptr<const Zentile::ZIPKMS>& kms,
                                                                std::uint32_t attempt) override;
    std::vector<std::optional<std::string>> records; // the key-service record of each question

private:
    std::shared_ptr<CallLog> log_;
    std::vector<std::optional<Zentile::ZIPDecryptResult>> answers_;
    std::size_t next_ = 0;
    std::uint32_t retries_;
};

// Answers every question with the same password.
std::shared_ptr<ScriptedDecryption> passwordAnswer(std::shared_ptr<CallLog> log, const std::string& password);

class ScriptedFilter : public Zentile::ZIPFilterDelegate {
public:
    ScriptedFilter(std::shared_ptr<CallLog> log, std::function<std::optional<std::string>(const std::string&)> answer)
        : log_(std::move(log)), answer_(std::move(answer)) {}
    std::optional<std::string> onReplaceItem(const std::optional<std::string>& item, std::uint32_t action) override;

private:
    std::shared_ptr<CallLog> log_;
    std::function<std::optional<std::string>(const std::string&)> answer_;
};

struct OpenResult {
    std::shared_ptr<Zentile::ZIPArchive> archive;
    Platform::Error error;
};
OpenResult openArchive(const fs::path& path, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate = nullptr);

struct ExtractResult {
    bool ok = false;
    Platform::Error error;
};
// Extracts the archive's top-level items into `destination`.
ExtractResult extractAll(const std::shared_ptr<Zentile::ZIPArchive>& archive, const fs::path& destination,
                         const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate);

// The results of the per-file ends in the log, by item.
std::map<std::string, std::uint32_t> fileResults(const CallLog& log);

} // namespace ZentileTest
