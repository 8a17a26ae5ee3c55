// Extracts a whole ZIP archive with our engine, as the application does: a command for the timed
// comparison with other archivers (bench/zip_extract.sh).
//   zentile_extract [-p PASSWORD] ARCHIVE DESTINATION
// Exit status 0 when every entry was extracted, 1 when the action failed, 2 on wrong usage.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "Zentile/zentile.h"

namespace {

// Answers every password request with the one password given (one attempt per entry).
class FixedPassword : public Zentile::ZIPDecryptDelegate {
public:
    explicit FixedPassword(std::optional<std::string> password) : password_(std::move(password)) {}

    std::uint32_t maximumNumberOfRetries() override { return 1; }

    std::optional<Zentile::ZIPDecryptResult> passwordForArchive(const std::shared_ptr<Zentile::ZIPArchive>&,
                                                                const std::optional<std::string>&,
                                                                const std::shared_ptr<const Zentile::ZIPKMS>&,
                                                                std::uint32_t attempt) override {
        if (!password_ || attempt > 0) {
            return Zentile::ZIPDecryptResult(Zentile::ZIPDecryptDecision::Cancel, std::nullopt);
        }
        return Zentile::ZIPDecryptResult(Zentile::ZIPDecryptDecision::UsePassword, password_);
    }

private:
    std::optional<std::string> password_;
};

// Counts the files that ended with an error, so a partial extraction does not pass for a whole one.
class FileErrors : public Zentile::ZIPProgressDelegate {
public:
    std::uint32_t onBeginWithItem(const std::optional<std::string>&, std::uint32_t, const std::optional<std::string>&,
                                  std::uint64_t) override {
        return Zentile::ZIPProgressContinue;
    }
    std::uint32_t onProgressWithItem(const std::optional<std::string>&, std::uint32_t,
                                     const std::optional<std::string>&, std::uint64_t, std::uint64_t) override {
        return Zentile::ZIPProgressContinue;
    }
    std::uint32_t onEndWithItem(const std::optional<std::string>& item, std::uint32_t progress,
                                const std::optional<std::string>&, std::uint32_t result) override {
        if (progress == Zentile::ZIPProgressFile && result != Zentile::ZIPErrorNone) {
            ++failed;
            std::fprintf(stderr, "%s: %s\n", item.value_or("?").c_str(),
                         Zentile::describeZIPError(static_cast<Zentile::ZIPErrorCode>(result)).c_str());
        }
        return Zentile::ZIPProgressContinue;
    }
    void setObject(const std::any&, std::uint32_t, const std::optional<std::string>&, std::uint32_t) override {}

    int failed = 0;
};

int usage() {
    std::fprintf(stderr, "usage: zentile_extract [-p PASSWORD] ARCHIVE DESTINATION\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::optional<std::string> password;
    int next = 1;
    if (next < argc && std::strcmp(argv[next], "-p") == 0) {
        if (next + 1 >= argc) {
            return usage();
        }
        password = argv[next + 1];
        next += 2;
    }
    if (argc - next != 2) {
        return usage();
    }
    const std::string archivePath = argv[next];
    const std::string destination = argv[next + 1];

    auto errors = std::make_shared<FileErrors>();
    auto bundle = std::make_shared<Zentile::ConcreteZIPArchiveDelegate>(
        errors, nullptr, std::make_shared<FixedPassword>(password));
    Zentile::ConcreteZIPArchiveGenerator generator;
    Platform::Error error;
    auto archive = generator.readArchiveAtPath(archivePath, Platform::FileManager::defaultManager(), bundle, &error);
    if (!archive) {
        std::fprintf(stderr, "%s: %s\n", archivePath.c_str(), error.localizedDescription().c_str());
        return 1;
    }
    if (!archive->fastExtractToFolder(destination, bundle, &error)) {
        std::fprintf(stderr, "%s: %s\n", archivePath.c_str(), error.localizedDescription().c_str());
        return 1;
    }
    return errors->failed == 0 ? 0 : 1;
}
