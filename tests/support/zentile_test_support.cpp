#include "support/zentile_test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace ZentileTest {

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "zentile-test-XXXXXX").string();
    path_ = fs::path(::mkdtemp(pattern.data()));
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    // Folders made read-only by an extraction must be writable to be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(path_, ignored);
}

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

int run(const std::string& command, const fs::path& folder) {
    std::string line = "(cd " + quote(folder.string()) + " && " + command + ") >/dev/null 2>&1";
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool toolPresent(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string sampleBytes(std::size_t length, unsigned seed, bool compressible) {
    std::mt19937 random(seed);
    std::string out;
    out.reserve(length);
    static const char* words[] = {"archive ", "entry ", "folder ", "key ", "service ", "extract ", "\n"};
    while (out.size() < length) {
        if (compressible) {
            out += words[random() % 7];
        } else {
            out.push_back(static_cast<char>(random() & 0xFF));
        }
    }
    out.resize(length);
    return out;
}

std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator(); ++it) {
        std::string relative = it->path().lexically_relative(root).string();
        if (it->is_symlink()) {
            out[relative] = "-> " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            out[relative] = "/";
        } else {
            out[relative] = readFile(it->path());
        }
    }
    return out;
}

std::uint32_t RecordingProgress::answer(const std::string& call) {
    log_->calls.push_back(call);
    if (!cancelAt.empty() && call.rfind(cancelAt, 0) == 0) {
        cancelled_ = true;
    }
    return cancelled_ ? Zentile::ZIPProgressCancel : Zentile::ZIPProgressContinue;
}

std::uint32_t RecordingProgress::onBeginWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                                 const std::optional<std::string>&, std::uint64_t maxSize) {
    return answer("begin " + std::to_string(progress) + " " + item.value_or("<none>") + " " + std::to_string(maxSize));
}

std::uint32_t RecordingProgress::onProgressWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                                    const std::optional<std::string>& parameter,
                                                    std::uint64_t currentSize, std::uint64_t maxSize) {
    std::string subject = progress == Zentile::ZIPProgressLoading ? parameter.value_or("<none>") : item.value_or("<none>");
    return answer("progress " + std::to_string(progress) + " " + subject + " " + std::to_string(currentSize) + "/" +
                  std::to_string(maxSize));
}

std::uint32_t RecordingProgress::onEndWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                               const std::optional<std::string>&, std::uint32_t result) {
    return answer("end " + std::to_string(progress) + " " + item.value_or("<none>") + " " + std::to_string(result));
}

std::optional<Zentile::ZIPDecryptResult> ScriptedDecryption::passwordForArchive(
    const std::shared_ptr<Zentile::ZIPArchive>&, const std::optional<std::string>& file,
    const std::shared_ptr<const Zentile::ZIPKMS>& kms, std::uint32_t attempt) {
    log_->calls.push_back("password " + file.value_or("<none>") + " " + std::to_string(attempt));
    records.push_back(kms ? std::optional<std::string>(std::string(kms->data().begin(), kms->data().end()))
                          : std::nullopt);
    if (answers_.empty()) {
        return std::nullopt;
    }
    auto answer = answers_[std::min(next_, answers_.size() - 1)];
    ++next_;
    return answer;
}

std::shared_ptr<ScriptedDecryption> passwordAnswer(std::shared_ptr<CallLog> log, const std::string& password) {
    return std::make_shared<ScriptedDecryption>(
        std::move(log), std::vector<std::optional<Zentile::ZIPDecryptResult>>{
                            Zentile::ZIPDecryptResult(Zentile::ZIPDecryptDecision::UsePassword, password)});
}

std::optional<std::string> ScriptedFilter::onReplaceItem(const std::optional<std::string>& item, std::uint32_t action) {
    log_->calls.push_back("replace " + item.value_or("<none>") + " " + std::to_string(action));
    return answer_(item.value_or(""));
}

OpenResult openArchive(const fs::path& path, const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate) {
    OpenResult result;
    Zentile::ConcreteZIPArchiveGenerator generator;
    result.archive =
        generator.readArchiveAtPath(path.string(), Platform::FileManager::defaultManager(), delegate, &result.error);
    return result;
}

ExtractResult extractAll(const std::shared_ptr<Zentile::ZIPArchive>& archive, const fs::path& destination,
                         const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate) {
    ExtractResult result;
    result.ok = archive->extractItems(archive->children(), destination.string(), delegate, &result.error);
    return result;
}

std::map<std::string, std::uint32_t> fileResults(const CallLog& log) {
    std::map<std::string, std::uint32_t> out;
    for (const auto& call : log.calls) {
        if (call.rfind("end 13 ", 0) == 0) {
            auto space = call.find_last_of(' ');
            out[call.substr(7, space - 7)] = static_cast<std::uint32_t>(std::stoul(call.substr(space + 1)));
        }
    }
    return out;
}

} // namespace ZentileTest
