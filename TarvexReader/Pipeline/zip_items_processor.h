// The application's single items processor: one pipeline per accepted archive, kept until the
// archive's future settles, then the result notification.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include <QObject>

#include "TarvexReader/Pipeline/items_processor.h"
#include "TarvexReader/Pipeline/promising_zip_processor.h"

namespace TarvexReader {

class ZIPItemsProcessor : public QObject, public ItemsProcessor {
    Q_OBJECT
public:
    ZIPItemsProcessor(std::shared_ptr<AccountManager> accountManager,
                      std::shared_ptr<Platform::UserDefaults> userDefaults,
                      std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                      std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane);

    void processArchiveURL(const QUrl& url) override;

    // Main thread, when the application quits: cancels every archive in flight and runs the event loop
    // (their windows and notifications need it) until each has removed what it made, settled and been
    // reported, or until `bound` has passed. Whether none is left.
    bool cancelAll(std::chrono::milliseconds bound);

    // The pipelines in flight (main thread only).
    const std::vector<std::shared_ptr<PromisingZIPProcessor>>& processors() const { return processors_; }

signals:
    // After an archive's notification was delivered.
    void archiveFinished(const QUrl& url);

private:
    void forget(const PromisingZIPProcessor* processor);

    std::vector<std::shared_ptr<PromisingZIPProcessor>> processors_;
    std::shared_ptr<AccountManager> accountManager_;
    std::shared_ptr<Platform::UserDefaults> userDefaults_;
    std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper_;
    std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlane_;
};

} // namespace TarvexReader
