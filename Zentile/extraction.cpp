#include "Zentile/extraction.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "Zentile/destination.h"
#include "Zentile/entry_extractor.h"
#include "Zentile/entry_name.h"
#include "Zentile/worker_pool.h"
#include "Zentile/zip_error.h"

namespace Zentile {
namespace {

// How long the calling thread waits for a worker before it reports progress again.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
// A link's target longer than this is refused as damaged.
constexpr std::uint64_t kMaxLinkTarget = 4096;

enum class Kind { Folder, File, Link, Refused };

struct Plan {
    const EntryRecord* entry = nullptr;
    Kind kind = Kind::File;
    ZIPErrorCode refusal = ZIPErrorNone;
    std::vector<std::string> components;
    std::string label; // the item text of the callbacks
};

// One run of a worker over one entry with one password.
struct Job {
    std::size_t plan = 0;
    std::optional<std::string> password;
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<bool> done{false};
    EntryResult result;
};

class Cancelled {};

class Extraction {
public:
    Extraction(std::shared_ptr<ZentileArchive> archive, const std::shared_ptr<ZIPArchiveDelegate>& delegate)
        : archive_(std::move(archive)), file_(archive_->file()), directory_(archive_->directory()) {
        if (delegate) {
            progress_ = delegate->progressDelegate();
            filter_ = delegate->filterDelegate();
            decryption_ = delegate->decryptionDelegate();
        }
        archiveName_ = archive_->name();
    }

    bool run(const std::vector<std::size_t>& entries, const std::string& destinationPath, Platform::Error* error);

private:
    void plan(const std::vector<std::size_t>& entries);
    std::uint32_t begin(const std::optional<std::string>& item, std::uint32_t type, std::uint64_t size) {
        return progress_ ? progress_->onBeginWithItem(item, type, std::nullopt, size) : ZIPProgressContinue;
    }
    std::uint32_t end(const std::optional<std::string>& item, std::uint32_t type, std::uint32_t result) {
        return progress_ ? progress_->onEndWithItem(item, type, std::nullopt, result) : ZIPProgressContinue;
    }
    void check(std::uint32_t answer) {
        if (answer == ZIPProgressCancel) {
            throw Cancelled();
        }
    }

    std::shared_ptr<Job> dispatch(std::size_t index, std::optional<std::string> password, bool urgent);
    void stop(const std::shared_ptr<Job>& job);
    void waitFor(const std::shared_ptr<Job>& job, std::uint64_t& reported);
    // Runs the entry with `password`, reusing a run already under way with the same password.
    EntryResult attempt(std::size_t index, const std::optional<std::string>& password, std::uint64_t& reported);
    ZIPErrorCode extractFile(std::size_t index);
    ZIPErrorCode decryptFile(std::size_t index, std::uint64_t& reported);
    ZIPErrorCode place(std::size_t index);
    void speculate(std::size_t after);
    std::optional<std::string> askForName(const std::string& leaf);

    std::shared_ptr<ZentileArchive> archive_;
    std::shared_ptr<ArchiveFile> file_;
    std::shared_ptr<CentralDirectory> directory_;
    std::shared_ptr<ZIPProgressDelegate> progress_;
    std::shared_ptr<ZIPFilterDelegate> filter_;
    std::shared_ptr<ZIPDecryptDelegate> decryption_;
    std::string archiveName_;

    std::vector<Plan> plans_;
    std::vector<std::shared_ptr<Job>> jobs_;
    Destination destination_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::string> goodPassword_; // the last password that opened an entry
    bool skipAll_ = false;
    std::unique_ptr<WorkerPool> pool_; // last: its workers stop before anything they use goes away
};

void Extraction::plan(const std::vector<std::size_t>& entries) {
    for (std::size_t index : entries) {
        const EntryRecord& entry = directory_->entries[index];
        Plan item;
        item.entry = &entry;
        auto components = safeRelativePath(entry.name);
        std::uint32_t type = entry.unixMode() & S_IFMT;
        if (!components) {
            item.kind = Kind::Refused;
            item.refusal = ZIPErrorUnsafePath;
            item.label = entry.name;
        } else {
            item.components = *components;
            for (const auto& part : item.components) {
                item.label = item.label.empty() ? part : item.label + "/" + part;
            }
            if (entry.isDirectory()) {
                item.kind = Kind::Folder;
            } else if (type == S_IFCHR || type == S_IFBLK || type == S_IFIFO || type == S_IFSOCK) {
                item.kind = Kind::Refused;
                item.refusal = ZIPErrorUnsupportedType;
            } else if (entry.encryption == EntryEncryption::Certificate) {
                item.kind = Kind::Refused;
                item.refusal = ZIPErrorCertificateMissing;
            } else if (!isSupportedMethod(entry.actualMethod)) {
                item.kind = Kind::Refused;
                item.refusal = ZIPErrorUnsupported;
            } else if (entry.isSymlink()) {
                item.kind = entry.uncompressedSize <= kMaxLinkTarget ? Kind::Link : Kind::Refused;
                item.refusal = ZIPErrorCorrupt;
            }
        }
        plans_.push_back(std::move(item));
    }
    jobs_.resize(plans_.size());
}

std::shared_ptr<Job> Extraction::dispatch(std::size_t index, std::optional<std::string> password, bool urgent) {
    auto job = std::make_shared<Job>();
    job->plan = index;
    job->password = std::move(password);
    jobs_[index] = job;
    const EntryRecord* entry = plans_[index].entry;
    int staging = destination_.stagingFolder();
    auto file = file_;
    pool_->submit([this, job, entry, staging, file](ExtractionBuffers& buffers) {
        std::string name = Destination::stagedName(job->plan);
        if (job->cancel.load()) {
            job->result = {EntryOutcome::Cancelled, ZIPErrorCancelled, {}};
        } else {
            int fd = ::openat(staging, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) {
                job->result = {EntryOutcome::Failed, ZIPErrorWriteFailed, "The file could not be created"};
            } else {
                EntryProgress progress{&job->cancel, &job->bytes, [this] { changed_.notify_all(); }};
                job->result = extractEntry(*file, *entry, job->password, fd, buffers, progress);
                ::close(fd);
            }
            if (job->result.outcome != EntryOutcome::Extracted) {
                ::unlinkat(staging, name.c_str(), 0); // a partial or wrong output never stays
            }
        }
        {
            std::lock_guard lock(mutex_);
            job->done.store(true);
        }
        changed_.notify_all();
    }, urgent);
    return job;
}

void Extraction::stop(const std::shared_ptr<Job>& job) {
    if (!job) {
        return;
    }
    job->cancel.store(true);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return job->done.load(); });
}

void Extraction::waitFor(const std::shared_ptr<Job>& job, std::uint64_t& reported) {
    const Plan& item = plans_[job->plan];
    std::uint64_t declared = item.entry->uncompressedSize;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, kProgressInterval, [&] {
                return job->done.load() || job->bytes.load(std::memory_order_relaxed) != reported;
            });
        }
        std::uint64_t bytes = std::min(job->bytes.load(std::memory_order_relaxed), declared);
        bool done = job->done.load();
        if (done && job->result.outcome != EntryOutcome::Extracted) {
            return;
        }
        if (bytes > reported) {
            reported = bytes;
            if (progress_) {
                check(progress_->onProgressWithItem(item.label, ZIPProgressBytes, std::nullopt, bytes, declared));
            }
        }
        if (done) {
            return;
        }
    }
}

EntryResult Extraction::attempt(std::size_t index, const std::optional<std::string>& password, std::uint64_t& reported) {
    auto job = jobs_[index];
    if (!job || job->password != password) {
        stop(job);
        job = dispatch(index, password, true);
    }
    waitFor(job, reported);
    jobs_[index].reset();
    return job->result;
}

void Extraction::speculate(std::size_t after) {
    if (!goodPassword_ || skipAll_) {
        return;
    }
    for (std::size_t i = after + 1; i < plans_.size(); ++i) {
        const Plan& item = plans_[i];
        if ((item.kind == Kind::File || item.kind == Kind::Link) && item.entry->encryption != EntryEncryption::None &&
            !jobs_[i]) {
            dispatch(i, goodPassword_, false);
        }
    }
}

std::optional<std::string> Extraction::askForName(const std::string& leaf) {
    if (!filter_) {
        return std::nullopt;
    }
    return filter_->onReplaceItem(leaf, ZIPFilterReplaceColliding);
}

ZIPErrorCode Extraction::decryptFile(std::size_t index, std::uint64_t& reported) {
    const Plan& item = plans_[index];
    if (skipAll_) {
        stop(jobs_[index]);
        return ZIPErrorSkipped;
    }
    if (auto preset = archive_->password()) {
        EntryResult result = attempt(index, preset, reported);
        if (result.outcome == EntryOutcome::Extracted) {
            return ZIPErrorNone;
        }
        if (result.outcome != EntryOutcome::WrongPassword) {
            return result.code;
        }
    }
    std::shared_ptr<const ZIPKMS> kms;
    if (auto record = item.entry->keyRecord ? item.entry->keyRecord : readLocalKeyRecord(*file_, *item.entry)) {
        kms = std::make_shared<const ZIPKMS>(std::vector<std::uint8_t>(record->begin(), record->end()));
    }
    std::uint32_t attempts = std::max<std::uint32_t>(1, decryption_ ? decryption_->maximumNumberOfRetries() : 0);
    for (std::uint32_t number = 0; number < attempts; ++number) {
        std::optional<ZIPDecryptResult> answer;
        if (decryption_) {
            answer = decryption_->passwordForArchive(archive_, item.label, kms, number);
        }
        if (!answer) {
            stop(jobs_[index]);
            return ZIPErrorPassphraseMissing;
        }
        switch (answer->decision()) {
        case ZIPDecryptDecision::UsePassword: {
            EntryResult result = attempt(index, answer->password().value_or(""), reported);
            if (result.outcome == EntryOutcome::Extracted) {
                if (goodPassword_ != answer->password().value_or("")) {
                    goodPassword_ = answer->password().value_or("");
                    speculate(index);
                }
                return ZIPErrorNone;
            }
            if (result.outcome != EntryOutcome::WrongPassword) {
                return result.code;
            }
            break;
        }
        case ZIPDecryptDecision::SkipAll:
            skipAll_ = true;
            for (std::size_t i = index; i < plans_.size(); ++i) {
                if (plans_[i].entry->encryption != EntryEncryption::None) {
                    stop(jobs_[i]);
                    jobs_[i].reset();
                }
            }
            return ZIPErrorSkipped;
        case ZIPDecryptDecision::SkipFile:
            stop(jobs_[index]);
            return ZIPErrorSkipped;
        case ZIPDecryptDecision::Cancel:
        default:
            throw Cancelled();
        }
    }
    return ZIPErrorWrongPassphrase;
}

ZIPErrorCode Extraction::place(std::size_t index) {
    const Plan& item = plans_[index];
    auto ask = [this](const std::string& leaf) { return askForName(leaf); };
    if (item.kind == Kind::Link) {
        std::string target;
        std::string staged = Destination::stagedName(index);
        int fd = ::openat(destination_.stagingFolder(), staged.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            char buffer[kMaxLinkTarget];
            ssize_t length = ::read(fd, buffer, sizeof buffer);
            ::close(fd);
            if (length > 0) {
                target.assign(buffer, static_cast<std::size_t>(length));
            }
        }
        ::unlinkat(destination_.stagingFolder(), staged.c_str(), 0);
        if (!linkTargetStaysInside(item.components, target)) {
            return ZIPErrorUnsafePath;
        }
        return destination_.placeLink(target, item.components, item.entry->modificationTime(), ask);
    }
    return destination_.placeFile(index, item.components, item.entry->unixMode(), item.entry->modificationTime(), ask);
}

ZIPErrorCode Extraction::extractFile(std::size_t index) {
    const Plan& item = plans_[index];
    std::uint64_t reported = 0;
    ZIPErrorCode code = ZIPErrorNone;
    if (item.entry->encryption != EntryEncryption::None) {
        code = decryptFile(index, reported);
    } else {
        auto job = jobs_[index] ? jobs_[index] : dispatch(index, std::nullopt, true);
        waitFor(job, reported);
        jobs_[index].reset();
        code = job->result.outcome == EntryOutcome::Extracted ? ZIPErrorNone : job->result.code;
    }
    if (code != ZIPErrorNone) {
        return code;
    }
    return place(index);
}

bool Extraction::run(const std::vector<std::size_t>& entries, const std::string& destinationPath,
                     Platform::Error* error) {
    plan(entries);
    std::uint64_t total = 0;
    std::size_t work = 0;
    for (const auto& item : plans_) {
        if (item.kind != Kind::Folder) {
            total += item.entry->uncompressedSize;
            ++work;
        }
    }
    try {
        check(begin(archiveName_, ZIPProgressExtraction, total));
        begin(archiveName_, ZIPProgressArchiveSize, total);
        ZIPErrorCode code = ZIPErrorNone;
        std::string text;
        if (!destination_.open(destinationPath, code, text)) {
            end(archiveName_, ZIPProgressExtraction, code);
            destination_.removeCreated();
            return Platform::failWith(error, makeZIPError(code, text));
        }
        pool_ = std::make_unique<WorkerPool>(std::min(WorkerPool::defaultThreads(), std::max<std::size_t>(work, 1)));
        goodPassword_ = archive_->password();
        for (std::size_t i = 0; i < plans_.size(); ++i) {
            const Plan& item = plans_[i];
            if ((item.kind == Kind::File || item.kind == Kind::Link) &&
                (item.entry->encryption == EntryEncryption::None || goodPassword_)) {
                dispatch(i, item.entry->encryption == EntryEncryption::None ? std::nullopt : goodPassword_, false);
            }
        }
        for (std::size_t i = 0; i < plans_.size(); ++i) {
            const Plan& item = plans_[i];
            if (item.kind == Kind::Folder) {
                ZIPErrorCode folderCode = ZIPErrorNone;
                int fd = destination_.makeFolders(item.components,
                                                  [this](const std::string& leaf) { return askForName(leaf); },
                                                  folderCode);
                if (fd >= 0) {
                    ::close(fd);
                    destination_.noteFolder(item.components, item.entry->unixMode(), item.entry->modificationTime());
                } else {
                    check(begin(item.label, ZIPProgressFile, 0));
                    check(end(item.label, ZIPProgressFile, folderCode));
                }
                continue;
            }
            check(begin(item.label, ZIPProgressFile, item.entry->uncompressedSize));
            ZIPErrorCode result = item.kind == Kind::Refused ? item.refusal : extractFile(i);
            check(end(item.label, ZIPProgressFile, result));
        }
        pool_.reset();
        destination_.finish();
        end(archiveName_, ZIPProgressExtraction, ZIPErrorNone);
        return true;
    } catch (const Cancelled&) {
        for (auto& job : jobs_) {
            if (job) {
                job->cancel.store(true);
            }
        }
        pool_.reset(); // waits for the workers
        destination_.removeCreated();
        end(archiveName_, ZIPProgressExtraction, ZIPErrorCancelled);
        return Platform::failWith(error, makeZIPError(ZIPErrorCancelled, describeZIPError(ZIPErrorCancelled)));
    }
}

} // namespace

bool runExtraction(const std::shared_ptr<ZentileArchive>& archive, const std::vector<std::size_t>& entries,
                   const std::string& destination, const std::shared_ptr<ZIPArchiveDelegate>& delegate,
                   Platform::Error* error) {
    Extraction extraction(archive, delegate);
    return extraction.run(entries, destination, error);
}

} // namespace Zentile
