#include "TarvexReader/Accounts/modal_querying_kms_provider.h"

#include <QWidget>

#include <mutex>
#include <semaphore>
#include <utility>

#include "TarvexReader/QtPlatform/main_thread.h"

namespace TarvexReader {

// The sheet's code one request waits for: given once, then the waiting thread is released.
struct ModalQueryingKMSProvider::PendingSignIn {
    std::binary_semaphore ready{0};
    std::mutex mutex;
    bool given = false;
    int returnCode = 0;

    void give(int code) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (given) {
                return;
            }
            given = true;
            returnCode = code;
        }
        ready.release();
    }
};

ModalQueryingKMSProvider::ModalQueryingKMSProvider(std::shared_ptr<AccountManager> accountManager,
                                                   std::shared_ptr<QWidget> windowController,
                                                   std::shared_ptr<Platform::UserDefaults> userDefaults,
                                                   std::shared_ptr<KeychainCredentialsKeeper> credentialsKeeper,
                                                   std::shared_ptr<VorlaneBridge::VorlaneFacade> vorlaneFacade)
    : accountManager_(std::move(accountManager)), windowController_(std::move(windowController)),
      userDefaults_(std::move(userDefaults)), credentialsKeeper_(std::move(credentialsKeeper)),
      vorlaneFacade_(std::move(vorlaneFacade)) {}

std::optional<std::string> ModalQueryingKMSProvider::archiveDecryptionPasswordWithJSON(const std::string& json) {
    if (vorlaneFacade_->userIsAlreadyLoggedIn()) {
        return vorlaneFacade_->archiveDecryptionPasswordWithJSON(json);
    }
    if (isMainThread()) {
        return std::nullopt;
    }
    auto pending = std::make_shared<PendingSignIn>();
    std::weak_ptr<ModalQueryingKMSProvider> weak = weak_from_this();
    runOnMainThreadAsync([weak, pending] {
        if (auto self = weak.lock()) {
            self->signInOnDemand(pending);
        } else {
            pending->give(0);
        }
    });
    pending->ready.acquire();
    int returnCode = 0;
    {
        std::lock_guard<std::mutex> guard(pending->mutex);
        returnCode = pending->returnCode;
    }
    if (returnCode != 1 || !vorlaneFacade_->userIsVerified()) {
        return std::nullopt;
    }
    return vorlaneFacade_->archiveDecryptionPasswordWithJSON(json);
}

void ModalQueryingKMSProvider::signInOnDemand(const std::shared_ptr<PendingSignIn>& pending) {
    if (!windowController_) {
        pending->give(0);
        return;
    }
    QFuture<int> outcome = accountManager_->beginLogIn(windowController_.get(), userDefaults_, credentialsKeeper_,
                                                       vorlaneFacade_);
    // Whichever way the sheet's future settles, the waiting thread goes on.
    outcome.then([pending](int code) { pending->give(code); }).onCanceled([pending] { pending->give(0); });
}

} // namespace TarvexReader
