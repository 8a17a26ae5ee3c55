#include "vxmeta/records/record_signing.h"

#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/access_seam.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

std::string signText(const std::string& text) {
    std::string privateKey;
    bool ownPublicKeyKnown = false;
    {
        LockScope lock(masterMutex);
        privateKey = loggedInPrivateKey();
        ownPublicKeyKnown = myPID && !myPID->pubkey.empty();
    }
    if (!privateKey.empty()) return signTextOther(text, privateKey);
    if (ownPublicKeyKnown)
        throw VxMetaException(VXMECAT_INTERNAL, "Unable to sign text - private key not set - must login.");
    return std::string();
}

std::string ownPublicKey() {
    LockScope lock(masterMutex);
    return myPID ? myPID->pubkey : std::string();
}

bool verifyMyText(const std::string& text, const std::string& signature) {
    return verifyText(text, signature, ownPublicKey());
}

std::string RSAdecrypt(const std::string& ciphertext, int padding) {
    mustBeLoggedIn();
    return RSAdecryptOther(ciphertext, loggedInPrivateKey(), padding);
}

} // namespace VxMeta
