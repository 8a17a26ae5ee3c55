#include "vxmeta/accounts/account_info_generator.h"

#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

AccountInfoGenerator::AccountInfoGenerator(const std::string& password, bool reuseCurrentKeys,
                                           const std::string& urn) {
    if (reuseCurrentKeys) {
        LockScope lock(masterMutex);
        if (globalState.myPrikey.empty())
            throw VxMetaException(VXMECAT_INTERNAL, "Cannot reencrypt private key - it isn't decrypted");
        privateKey = globalState.myPrikey;
        credentials = globalState.credentials;
        if (myPID) pid = *myPID;
        if (mySID) sid = *mySID;
        if (myUser) user = *myUser;
        user.localDirty = true;
    } else {
        // The key pair is new and nobody else sees it yet: made without the master lock.
        generateRSAKeys(pid.pubkey, privateKey);
        pid.urn = urn.empty() ? urnsafe(hashText(pid.pubkey)) : urn;
    }
    generate(password);
}

AccountInfoGenerator::AccountInfoGenerator(const Credentials& held)
    : privateKey(held.getSavedPrivateKey()), credentials(held) {
    pid.urn = held.getURN();
}

AccountInfoGenerator::~AccountInfoGenerator() { wipeText(privateKey); }

void AccountInfoGenerator::generate(const std::string& password) {
    credentials.setPassword(password);
    credentials.generateParameters(pid.urn, loginRounds);
    credentials.setSavedPrivateKey(privateKey);
    credentials.copyToUser(user);

    std::string secret = randomBytes(32);
    std::string key = credentials.getKey();
    const AES cipher(key);
    user.sidLocator = encrypt(cipher, secret, false);
    sid.shash = "V2-" + urnsafe(base64_encode(hmacsha(256, key, secret)));
    sid.version = "V3";
    wipeText(key);
    const bool locatorOpens = decrypt(cipher, user.sidLocator) == secret;
    wipeText(secret);
    if (!locatorOpens) throw VxMetaException(VXMECAT_INTERNAL, "Test decryption of sidLocator failed");

    sid.prikey = encrypt(cipher, privateKey, true);
    std::string reopened = decrypt(cipher, sid.prikey);
    const bool keyOpens = reopened == privateKey;
    wipeText(reopened);
    if (!keyOpens) throw VxMetaException(VXMECAT_INTERNAL, "Reencrypted private key round trip test failed");

    sid.changed();
    user.changed();
}

void AccountInfoGenerator::setMyPrikey() {
    LockScope lock(masterMutex);
    globalState.myPrikey = privateKey;
}

std::string AccountInfoGenerator::getLoginToken(const std::string& publicKey) {
    return credentials.getLoginToken(publicKey);
}

std::string AccountInfoGenerator::getLoginTokenHash(const std::string& publicKey) {
    return credentials.getLoginTokenHash(publicKey);
}

Credentials AccountInfoGenerator::getCredentials() const { return credentials; }

} // namespace VxMeta
