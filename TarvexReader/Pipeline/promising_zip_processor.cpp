#include "TarvexReader/Pipeline/promising_zip_processor.h"

#include <QDialog>
#include <QFileInfo>
#include <QPromise>

#include <utility>

#include "Platform/file_manager.h"
#include "Platform/system_log.h"
#include "Tarvexor/tarvexor.h"
#include "TarvexReader/Collision/reader_zip_filter_delegate.h"
#include "TarvexReader/Accounts/modal_querying_kms_provider.h"
#include "TarvexReader/Passphrase/modal_querying_decrypt_delegate.h"
#include "TarvexReader/Progress/adapting_zip_progress_delegate.h"
#include "TarvexReader/Progress/progress_window_controller.h"
#include "TarvexReader/Progress/reporting_zip_progress_delegate.h"
#include "TarvexReader/QtPlatform/main_thread.h"
#include "Zentile/zip_error.h"

namespace TarvexReader {

namespace {

// Widgets are deleted on the main thread, whichever thread lets go of them last.
std::shared_ptr<ProgressWindowController> makeProgressWindow() {
    return std::shared_ptr<ProgressWindowController>(new ProgressWindowController(),
                                                     [](ProgressWindowController* window) { window->deleteLater(); });
}

} // namespace

PromisingZIPProcessor::PromisingZIPProcessor(std::shared_ptr<AccountManager> accountManager,
                                             std::shared_ptr<Platform::UserDefaults> userDefaults,
                                             std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                                             std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane)
    : accountManager_(std::move(accountManager)), userDefaults_(std::move(userDefaults)),
      credentialsKeeper_(std::move(credentialsKeeper)), vorlane_(std::move(vorlane)) {}

PromisingZIPProcessor::~PromisingZIPProcessor() {
    if (worker_) {
        worker_->wait();
    }
}

void PromisingZIPProcessor::cancel() {
    if (!window_) {
        return;
    }
    window_->onAction();
    for (QDialog* question : window_->findChildren<QDialog*>()) {
        if (question->isVisible()) {
            // Not reject(): a sign-in sheet refuses that while it is busy.
            question->done(QDialog::Rejected);
        }
    }
}

QFuture<ExtractionOutcome> PromisingZIPProcessor::runExtraction(const QUrl& url) {
    auto window = makeProgressWindow();
    window_ = window.get();
    auto keyProvider = std::make_shared<ModalQueryingKMSProvider>(accountManager_, window, userDefaults_,
                                                                  credentialsKeeper_, vorlane_);
    auto progress = std::make_shared<AdaptingZIPProgressDelegate>(window, url.fileName().toStdString());
    auto decryption = std::make_shared<ModalQueryingDecryptDelegate>(window);
    auto filter = std::make_shared<ReaderZIPFilterDelegate>();
    auto firstDelegate = std::make_shared<ReaderZIPArchiveDelegate>(progress, filter, decryption);

    auto promise = std::make_shared<QPromise<ExtractionOutcome>>();
    QFuture<ExtractionOutcome> future = promise->future();
    promise->start();
    // A thread of its own for each archive: an archive waiting for its passphrase never holds up another.
    worker_.reset(QThread::create([this, window, keyProvider, firstDelegate, promise, url]() mutable {
        ExtractionOutcome outcome;
        if (auto archive = loadArchive(keyProvider, url, firstDelegate, &outcome.error)) {
            outcome = extractArchive(archive, firstDelegate);
        }
        firstDelegate.reset();
        keyProvider.reset();
        runOnMainThreadAsync([window = std::move(window), promise, outcome = std::move(outcome)]() mutable {
            // However the engine ended, the window goes when the archive is done.
            window->hide();
            window.reset();
            promise->addResult(std::move(outcome));
            promise->finish();
        });
    }));
    worker_->start();
    return future;
}

std::shared_ptr<Zentile::ZIPArchive> PromisingZIPProcessor::loadArchive(
    const std::shared_ptr<VorlaneBridge::CryptionInterface>& keyProvider, const QUrl& url,
    const std::shared_ptr<ReaderZIPArchiveDelegate>& archiveDelegate, Platform::Error* error) {
    Tarvexor::VelmoZIPArchiveGenerator generator(keyProvider);
    Platform::Error failure;
    std::shared_ptr<Zentile::ZIPArchive> archive = generator.readArchiveAtPath(
        url.toLocalFile().toStdString(), Platform::FileManager::defaultManager(), archiveDelegate, &failure);
    if (!archive) {
        Platform::failWith(error, failure);
    }
    return archive;
}

ExtractionOutcome PromisingZIPProcessor::extractArchive(const std::shared_ptr<Zentile::ZIPArchive>& archive,
                                                        const std::shared_ptr<ReaderZIPArchiveDelegate>& firstDelegate) const {
    ExtractionOutcome outcome;
    std::optional<std::filesystem::path> destination = extractionUrlProvider_.extractionDestination(*archive, &outcome.error);
    if (!destination) {
        Platform::systemLog(outcome.error.localizedDescription());
        return outcome;
    }
    auto reporting = std::make_shared<ReportingZIPProgressDelegate>(firstDelegate->progressDelegate());
    auto second = std::make_shared<ReaderZIPArchiveDelegate>(reporting, std::make_shared<ReaderZIPFilterDelegate>(),
                                                             firstDelegate->decryptionDelegate());
    Platform::Error failure;
    if (archive->extractItems(archive->children(), destination->string(), second, &failure)) {
        outcome.result = ExtractionResult{archive->name(), destination->string(), reporting->total(),
                                          reporting->warnings(), reporting->errors()};
        return outcome;
    }
    // A cancelled extraction has removed what it created, newest first, and nothing else: what was
    // there before and what others wrote meanwhile (the user, another archive) stays.
    Platform::systemLog(failure.localizedDescription());
    outcome.error = failure;
    return outcome;
}

} // namespace TarvexReader
