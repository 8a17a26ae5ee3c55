// The key-provider form of the engine's delegate bundle: a copy of a caller's bundle whose decryption
// delegate asks the key provider before the caller's own.
#pragma once

#include <memory>

#include "Vorlane/Cryption/cryption_interface.h"
#include "Zentile/zip_archive_delegate.h"

namespace Tarvexor::VelmoDecrypt {

// A new bundle with the caller's progress, filter, encryption and duplicate delegates, and as decryption
// delegate a `VelmoZIPDecryptDelegate` over the key provider and the caller's decryption delegate. A
// missing bundle counts as one with no delegates.
std::shared_ptr<Zentile::ConcreteZIPArchiveDelegate> initWithDelegate(
    const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
    const std::shared_ptr<VorlaneBridge::CryptionInterface>& kmsProvider);

} // namespace Tarvexor::VelmoDecrypt
