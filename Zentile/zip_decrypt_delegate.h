// The decryption delegate: asked for the password of each encrypted entry, once per attempt.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Zentile/zip_decrypt_result.h"
#include "Zentile/zip_kms.h"

namespace Zentile {

class ZIPArchive;

class ZIPDecryptDelegate {
public:
    virtual ~ZIPDecryptDelegate() = default;

    // How many attempts an entry gets: the engine asks max(1, this) times at most.
    virtual std::uint32_t maximumNumberOfRetries() = 0;

    // `file` is the entry's path, `kms` its key-service record (none when it carries none), `attempt`
    // the number of earlier attempts for this entry (0, 1, ...). None as the answer means that no
    // password is at hand: the entry fails with code 7.
    virtual std::optional<ZIPDecryptResult> passwordForArchive(const std::shared_ptr<ZIPArchive>& archive,
                                                               const std::optional<std::string>& file,
                                                               const std::shared_ptr<const ZIPKMS>& kms,
                                                               std::uint32_t attempt) = 0;
};

} // namespace Zentile
