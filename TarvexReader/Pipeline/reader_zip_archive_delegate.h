// The delegate bundle the pipeline hands the engine: progress, filter and decryption delegates; no
// writing delegates.
#pragma once

#include <memory>

#include "Zentile/zip_archive_delegate.h"

namespace TarvexReader {

class ReaderZIPArchiveDelegate : public Zentile::ZIPArchiveDelegate {
public:
    ReaderZIPArchiveDelegate(std::shared_ptr<Zentile::ZIPProgressDelegate> prog,
                             std::shared_ptr<Zentile::ZIPFilterDelegate> filt,
                             std::shared_ptr<Zentile::ZIPDecryptDelegate> decr)
        : prog_(std::move(prog)), filt_(std::move(filt)), decr_(std::move(decr)) {}

    std::shared_ptr<Zentile::ZIPProgressDelegate> progressDelegate() override { return prog_; }
    std::shared_ptr<Zentile::ZIPFilterDelegate> filterDelegate() override { return filt_; }
    std::shared_ptr<Zentile::ZIPDecryptDelegate> decryptionDelegate() override { return decr_; }
    std::shared_ptr<Zentile::ZIPEncryptDelegate> encryptionDelegate() override { return nullptr; }
    std::shared_ptr<Zentile::ZIPDuplicateDelegate> duplicateDelegate() override { return nullptr; }

private:
    const std::shared_ptr<Zentile::ZIPProgressDelegate> prog_;
    const std::shared_ptr<Zentile::ZIPFilterDelegate> filt_;
    const std::shared_ptr<Zentile::ZIPDecryptDelegate> decr_;
};

} // namespace TarvexReader
