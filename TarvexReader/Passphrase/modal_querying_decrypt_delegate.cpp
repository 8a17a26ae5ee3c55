#include "TarvexReader/Passphrase/modal_querying_decrypt_delegate.h"

#include <QLineEdit>
#include <QWidget>

#include <mutex>
#include <semaphore>
#include <utility>

#include "TarvexReader/Passphrase/password_window_controller.h"
#include "TarvexReader/Progress/progress_window_controller.h"
#include "TarvexReader/QtPlatform/main_thread.h"

namespace TarvexReader {

using Zentile::ZIPDecryptDecision;
using Zentile::ZIPDecryptResult;

// The answer one question waits for: given once, then the waiting thread is released.
struct ModalQueryingDecryptDelegate::PendingAnswer {
    std::binary_semaphore ready{0};
    std::mutex mutex;
    bool given = false;
    ZIPDecryptDecision decision = ZIPDecryptDecision::Cancel;
    std::optional<std::string> password;

    void give(ZIPDecryptDecision d, std::optional<std::string> p) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (given) {
                return;
            }
            given = true;
            decision = d;
            password = std::move(p);
        }
        ready.release();
    }
};

ModalQueryingDecryptDelegate::ModalQueryingDecryptDelegate(std::shared_ptr<QWidget> windowController)
    : windowController_(std::move(windowController)) {}

std::uint32_t ModalQueryingDecryptDelegate::maximumNumberOfRetries() {
    return preferences_.maxNumberOfPasswordAttempts;
}

std::optional<ZIPDecryptResult> ModalQueryingDecryptDelegate::passwordForArchive(
    const std::shared_ptr<Zentile::ZIPArchive>& /*archive*/, const std::optional<std::string>& file,
    const std::shared_ptr<const Zentile::ZIPKMS>& /*kms*/, std::uint32_t attempt) {
    if (bSkipAll_.load()) {
        return ZIPDecryptResult(ZIPDecryptDecision::SkipAll, std::nullopt);
    }
    if (!file || isMainThread()) {
        // Nothing to ask about, or no way to wait for the answer without blocking the dialog itself.
        return ZIPDecryptResult(ZIPDecryptDecision::Cancel, std::nullopt);
    }
    auto pending = std::make_shared<PendingAnswer>();
    std::weak_ptr<ModalQueryingDecryptDelegate> weak = weak_from_this();
    runOnMainThreadAsync([weak, pending, path = *file, attempt] {
        auto self = weak.lock();
        if (!self) {
            pending->give(ZIPDecryptDecision::Cancel, std::nullopt);
            return;
        }
        self->showPassphraseSheet(pending, path, attempt);
    });
    pending->ready.acquire();
    std::lock_guard<std::mutex> guard(pending->mutex);
    return ZIPDecryptResult(pending->decision, pending->password);
}

void ModalQueryingDecryptDelegate::showPassphraseSheet(const std::shared_ptr<PendingAnswer>& pending,
                                                       const std::string& file, std::uint32_t attempt) {
    auto* progress = qobject_cast<ProgressWindowController*>(windowController_.get());
    if (!windowController_ || (progress != nullptr && progress->isCancelled())) {
        // No window to ask on, or the archive is being cancelled (the user's Cancel, or the application
        // quitting): nobody is there to answer.
        pending->give(ZIPDecryptDecision::Cancel, std::nullopt);
        return;
    }
    auto* sheet = new PasswordWindowController(file, attempt, preferences_, windowController_.get());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    std::weak_ptr<ModalQueryingDecryptDelegate> weak = weak_from_this();
    QObject::connect(sheet, &QDialog::finished, sheet, [weak, pending, sheet](int code) {
        const std::string password = sheet->txtPassword->text().toStdString();
        if (auto self = weak.lock()) {
            self->passphraseSheetDone(pending, code, password);
        } else {
            pending->give(ZIPDecryptDecision::Cancel, std::nullopt);
        }
    });
    // A dialog that goes away unanswered (its window closed under it) cancels.
    QObject::connect(sheet, &QObject::destroyed, [pending] { pending->give(ZIPDecryptDecision::Cancel, std::nullopt); });
    sheet->open();
}

void ModalQueryingDecryptDelegate::passphraseSheetDone(const std::shared_ptr<PendingAnswer>& pending, int returnCode,
                                                       const std::string& password) {
    switch (returnCode) {
    case PasswordWindowController::kSkipAll:
        bSkipAll_.store(true);
        pending->give(ZIPDecryptDecision::SkipAll, std::nullopt);
        break;
    case PasswordWindowController::kSkip:
        pending->give(ZIPDecryptDecision::SkipFile, std::nullopt);
        break;
    case PasswordWindowController::kOK:
        pending->give(ZIPDecryptDecision::UsePassword, password);
        break;
    default:
        pending->give(ZIPDecryptDecision::Cancel, std::nullopt);
        break;
    }
}

} // namespace TarvexReader
