// The decryption delegate that asks the user: for each password question of the engine it shows the
// passphrase dialog on the archive's progress window and lets the extraction thread wait for the
// choice (use this password, skip the file, skip every encrypted file of the archive, cancel). One
// serves one archive, for its opening and its extraction; Skip All holds for the rest of that archive.
// Called on the extraction thread, never on the main thread.
#pragma once

#include <atomic>
#include <memory>

#include "TarvexReader/Passphrase/global_preferences.h"
#include "Zentile/zip_decrypt_delegate.h"

class QWidget;

namespace TarvexReader {

class ModalQueryingDecryptDelegate : public Zentile::ZIPDecryptDelegate,
                                     public std::enable_shared_from_this<ModalQueryingDecryptDelegate> {
public:
    // `windowController` is the archive's progress window, the parent of every dialog.
    explicit ModalQueryingDecryptDelegate(std::shared_ptr<QWidget> windowController);

    std::uint32_t maximumNumberOfRetries() override;
    // Skip All answered earlier: decision 2 at once. No entry path, or called on the main thread:
    // decision 3 (cancel) at once. Otherwise the user's choice; cancel when the dialog cannot be
    // shown (no window, or the archive's window was cancelled) or goes away unanswered.
    std::optional<Zentile::ZIPDecryptResult> passwordForArchive(const std::shared_ptr<Zentile::ZIPArchive>& archive,
                                                                const std::optional<std::string>& file,
                                                                const std::shared_ptr<const Zentile::ZIPKMS>& kms,
                                                                std::uint32_t attempt) override;

    bool skipAll() const { return bSkipAll_.load(); }
    const std::shared_ptr<QWidget>& windowController() const { return windowController_; }

private:
    struct PendingAnswer;
    void showPassphraseSheet(const std::shared_ptr<PendingAnswer>& pending, const std::string& file,
                             std::uint32_t attempt);
    void passphraseSheetDone(const std::shared_ptr<PendingAnswer>& pending, int returnCode, const std::string& password);

    std::shared_ptr<QWidget> windowController_;
    std::atomic<bool> bSkipAll_{false};
    GlobalPreferences preferences_;
};

} // namespace TarvexReader
