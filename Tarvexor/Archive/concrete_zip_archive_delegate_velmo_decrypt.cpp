#include "Tarvexor/Archive/concrete_zip_archive_delegate_velmo_decrypt.h"

#include "Tarvexor/Archive/Decrypt/velmo_zip_decrypt_delegate.h"

namespace Tarvexor::VelmoDecrypt {

std::shared_ptr<Zentile::ConcreteZIPArchiveDelegate> initWithDelegate(
    const std::shared_ptr<Zentile::ZIPArchiveDelegate>& delegate,
    const std::shared_ptr<VorlaneBridge::CryptionInterface>& kmsProvider) {
    auto bundle = std::make_shared<Zentile::ConcreteZIPArchiveDelegate>();
    if (delegate) {
        bundle->prog = delegate->progressDelegate();
        bundle->filt = delegate->filterDelegate();
        bundle->encr = delegate->encryptionDelegate();
        bundle->dup = delegate->duplicateDelegate();
    }
    bundle->decr = std::make_shared<VelmoZIPDecryptDelegate>(kmsProvider,
                                                             delegate ? delegate->decryptionDelegate() : nullptr);
    return bundle;
}

} // namespace Tarvexor::VelmoDecrypt
