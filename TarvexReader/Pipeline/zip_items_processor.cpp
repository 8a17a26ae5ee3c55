#include "TarvexReader/Pipeline/zip_items_processor.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "TarvexReader/Pipeline/extraction_notifications.h"

namespace TarvexReader {

ZIPItemsProcessor::ZIPItemsProcessor(std::shared_ptr<AccountManager> accountManager,
                                     std::shared_ptr<Platform::UserDefaults> userDefaults,
                                     std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                                     std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane)
    : accountManager_(std::move(accountManager)), userDefaults_(std::move(userDefaults)),
      credentialsKeeper_(std::move(credentialsKeeper)), vorlane_(std::move(vorlane)) {}

void ZIPItemsProcessor::processArchiveURL(const QUrl& url) {
    auto processor = std::make_shared<PromisingZIPProcessor>(accountManager_, userDefaults_, credentialsKeeper_, vorlane_);
    processors_.push_back(processor);
    const PromisingZIPProcessor* key = processor.get();
    // Runs on this object's (the main) thread, and not at all once this object is gone.
    processor->runExtraction(url).then(this, [this, key, url](const ExtractionOutcome& outcome) {
        forget(key);
        const std::string archiveFileName = url.fileName().toStdString();
        if (outcome.result) {
            notifyExtractionResult(*outcome.result, archiveFileName);
        } else {
            notifyExtractionError(outcome.error, archiveFileName);
        }
        emit archiveFinished(url);
    });
}

bool ZIPItemsProcessor::cancelAll(std::chrono::milliseconds bound) {
    if (processors_.empty()) {
        return true;
    }
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A question that an archive opens after its cancel (a sign-in asked for on the way) is ended too.
    QTimer again;
    auto cancelEach = [this] {
        for (const auto& processor : processors_) {
            processor->cancel();
        }
    };
    QObject::connect(&again, &QTimer::timeout, &loop, cancelEach);
    QObject::connect(this, &ZIPItemsProcessor::archiveFinished, &loop, [this, &loop] {
        if (processors_.empty()) {
            loop.quit();
        }
    });
    cancelEach();
    deadline.start(bound);
    again.start(std::chrono::milliseconds(100));
    loop.exec();
    return processors_.empty();
}

void ZIPItemsProcessor::forget(const PromisingZIPProcessor* processor) {
    std::erase_if(processors_, [processor](const auto& entry) { return entry.get() == processor; });
}

} // namespace TarvexReader
