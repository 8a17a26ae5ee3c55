// The pipeline of one archive: it builds the archive's progress window, key provider and delegates on
// the main thread, then opens the archive through the archive bridge and extracts its top-level items
// to the Desktop on a thread of its own. The returned future settles on the main thread, once the progress
// window is closed, with the result or the error.
#pragma once

#include <memory>

#include <QFuture>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include "Platform/user_defaults.h"
#include "TarvexReader/Accounts/account_manager.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "TarvexReader/Pipeline/extraction_result.h"
#include "TarvexReader/Pipeline/extraction_url_provider.h"
#include "TarvexReader/Pipeline/reader_zip_archive_delegate.h"
#include "Vorlane/Cryption/cryption_interface.h"
#include "Vorlane/vorlane_facade.h"

namespace TarvexReader {

class ProgressWindowController;

class PromisingZIPProcessor {
public:
    PromisingZIPProcessor(std::shared_ptr<AccountManager> accountManager,
                          std::shared_ptr<Platform::UserDefaults> userDefaults,
                          std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                          std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane);
    // Main thread, once the future has settled: waits for the archive's thread to end (it has nothing
    // left to do by then).
    ~PromisingZIPProcessor();
    PromisingZIPProcessor(const PromisingZIPProcessor&) = delete;
    PromisingZIPProcessor& operator=(const PromisingZIPProcessor&) = delete;

    // Main thread; returns at once. The archive's thread uses this object until the future settles: its
    // owner keeps it until then.
    QFuture<ExtractionOutcome> runExtraction(const QUrl& url);
    // Main thread: cancels the archive as its window's Cancel does, and ends each question open on that
    // window (passphrase, sign-in) with a cancel. The future then settles once the engine has removed
    // what the extraction made.
    void cancel();

    // Opens the archive through the bridge; none with the engine's error.
    static std::shared_ptr<Zentile::ZIPArchive> loadArchive(
        const std::shared_ptr<VorlaneBridge::CryptionInterface>& keyProvider, const QUrl& url,
        const std::shared_ptr<ReaderZIPArchiveDelegate>& archiveDelegate, Platform::Error* error);
    // Extracts the archive's top-level items to its destination (the archive's thread). A cancelled
    // extraction leaves nothing of its own behind (the engine removes exactly what it created).
    ExtractionOutcome extractArchive(const std::shared_ptr<Zentile::ZIPArchive>& archive,
                                     const std::shared_ptr<ReaderZIPArchiveDelegate>& firstDelegate) const;

private:
    std::shared_ptr<AccountManager> accountManager_;
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
    std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper_;
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane_;
    ExtractionUrlProvider extractionUrlProvider_;
    QPointer<ProgressWindowController> window_;
    std::unique_ptr<QThread> worker_;
};

} // namespace TarvexReader
