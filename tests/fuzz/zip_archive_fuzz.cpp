// Fuzz target: the ZIP engine's archive reader. The input is written as an archive file, opened, its
// item tree walked, and the whole archive extracted into a fresh destination with a decryption delegate
// that gives one fixed password. Whatever the archive holds, nothing may be created outside the
// destination (the destination's parent holds only the archive and the destination afterwards) and
// nothing inside it may be a link that resolves outside it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include <unistd.h>

#include "Zentile/zentile.h"

namespace fs = std::filesystem;

namespace {

// The password of the encrypted seeds (tests/fuzz/make_seeds.py).
constexpr char kPassword[] = "fuzz-password";

class FixedPassword : public Zentile::ZIPDecryptDelegate {
public:
    std::uint32_t maximumNumberOfRetries() override { return 2; }
    std::optional<Zentile::ZIPDecryptResult> passwordForArchive(const std::shared_ptr<Zentile::ZIPArchive>&,
                                                                const std::optional<std::string>&,
                                                                const std::shared_ptr<const Zentile::ZIPKMS>&,
                                                                std::uint32_t) override {
        return Zentile::ZIPDecryptResult(Zentile::ZIPDecryptDecision::UsePassword, std::string(kPassword));
    }
};

fs::path scratch;     // this process's folder: the archive and the destination, nothing else
fs::path archivePath;
fs::path destination;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

// Reads every property of every item, as a listing would.
void walk(const std::shared_ptr<Zentile::ZIPItem>& item, int depth) {
    if (depth > 256) fail("the item tree nests deeper than any archive path can");
    static_cast<void>(item->name());
    static_cast<void>(item->path());
    static_cast<void>(item->size());
    static_cast<void>(item->lastModifiedDate());
    static_cast<void>(item->itemOffset());
    static_cast<void>(item->parent());
    if (auto file = std::dynamic_pointer_cast<Zentile::ZIPFile>(item)) {
        static_cast<void>(file->sizeCompressed());
        static_cast<void>(file->encryptMethodName());
        static_cast<void>(file->accessFlags());
        static_cast<void>(file->fileState());
    }
    if (auto folder = std::dynamic_pointer_cast<Zentile::ZIPFolder>(item)) {
        for (const auto& child : folder->children()) walk(child, depth + 1);
    }
}

// Aborts when the scratch folder holds more than the archive and the destination, or when a link
// below the destination resolves outside it.
void checkConfined() {
    for (const auto& entry : fs::directory_iterator(scratch)) {
        if (entry.path() != archivePath && entry.path() != destination) {
            fail("written outside the destination: " + entry.path().string());
        }
    }
    if (!fs::exists(destination)) return;
    const fs::path inside = fs::canonical(destination);
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        if (!entry.is_symlink()) continue;
        std::error_code error;
        const fs::path target = fs::weakly_canonical(entry.path(), error);
        if (error) continue;
        const auto [end, ignored] = std::mismatch(inside.begin(), inside.end(), target.begin(), target.end());
        if (end != inside.end()) fail("a link leads outside the destination: " + entry.path().string());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch = fs::temp_directory_path() / ("zip-archive-fuzz-" + std::to_string(::getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    archivePath = scratch / "input.zip";
    destination = scratch / "out";
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (std::FILE* file = std::fopen(archivePath.c_str(), "wb")) {
        if (size > 0 && std::fwrite(data, 1, size, file) != size) fail("the archive could not be written");
        std::fclose(file);
    } else {
        fail("the archive could not be created");
    }
    fs::create_directories(destination);

    auto bundle = std::make_shared<Zentile::ConcreteZIPArchiveDelegate>(nullptr, nullptr,
                                                                        std::make_shared<FixedPassword>());
    Zentile::ConcreteZIPArchiveGenerator generator;
    Platform::Error error;
    auto archive = generator.readArchiveAtPath(archivePath.string(), Platform::FileManager::defaultManager(), bundle,
                                               &error);
    if (archive) {
        static_cast<void>(archive->numberOfFiles());
        static_cast<void>(archive->numberOfFolders());
        walk(archive->rootFolder(), 0);
        static_cast<void>(archive->fastExtractToFolder(destination.string(), bundle, &error));
    }
    checkConfined();
    fs::remove_all(destination);
    return 0;
}
