// The delegate bundle an action receives: the engine asks it for its five delegates (each may be none),
// on the calling thread, while the action runs. `ConcreteZIPArchiveDelegate` is the plain bundle of five
// read-write members.
#pragma once

#include <memory>

#include "Zentile/zip_decrypt_delegate.h"
#include "Zentile/zip_filter_delegate.h"
#include "Zentile/zip_progress_delegate.h"
#include "Zentile/zip_write_delegates.h"

namespace Zentile {

class ZIPArchiveDelegate {
public:
    virtual ~ZIPArchiveDelegate() = default;

    virtual std::shared_ptr<ZIPProgressDelegate> progressDelegate() = 0;
    virtual std::shared_ptr<ZIPFilterDelegate> filterDelegate() = 0;
    virtual std::shared_ptr<ZIPDecryptDelegate> decryptionDelegate() = 0;
    virtual std::shared_ptr<ZIPEncryptDelegate> encryptionDelegate() = 0;
    virtual std::shared_ptr<ZIPDuplicateDelegate> duplicateDelegate() = 0;
};

class ConcreteZIPArchiveDelegate : public ZIPArchiveDelegate {
public:
    ConcreteZIPArchiveDelegate() = default;
    ConcreteZIPArchiveDelegate(std::shared_ptr<ZIPProgressDelegate> progress,
                               std::shared_ptr<ZIPFilterDelegate> filter,
                               std::shared_ptr<ZIPDecryptDelegate> decryption,
                               std::shared_ptr<ZIPEncryptDelegate> encryption = nullptr,
                               std::shared_ptr<ZIPDuplicateDelegate> duplicate = nullptr)
        : prog(std::move(progress)), filt(std::move(filter)), decr(std::move(decryption)),
          encr(std::move(encryption)), dup(std::move(duplicate)) {}

    std::shared_ptr<ZIPProgressDelegate> progressDelegate() override { return prog; }
    std::shared_ptr<ZIPFilterDelegate> filterDelegate() override { return filt; }
    std::shared_ptr<ZIPDecryptDelegate> decryptionDelegate() override { return decr; }
    std::shared_ptr<ZIPEncryptDelegate> encryptionDelegate() override { return encr; }
    std::shared_ptr<ZIPDuplicateDelegate> duplicateDelegate() override { return dup; }

    std::shared_ptr<ZIPProgressDelegate> prog;
    std::shared_ptr<ZIPFilterDelegate> filt;
    std::shared_ptr<ZIPDecryptDelegate> decr;
    std::shared_ptr<ZIPEncryptDelegate> encr;
    std::shared_ptr<ZIPDuplicateDelegate> dup;
};

} // namespace Zentile
