#include "vxmeta/access/credentials.h"

#include <memory>

#include "vxmeta/access/state_seam.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_signing.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"

// The credential trace lines: level 4, only while clogEnabled is set.
#define CREDENTIAL_TRACE(format, ...)                                                              \
    do {                                                                                           \
        if (::VxMeta::clogEnabled.load() && ::VxMeta::logLevelOn(4))                               \
            ::VxMeta::writeLog(4, "---            Credential " format __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)

namespace VxMeta {

namespace {

// Random bytes as base64 text: the login salt and the token hash nonce are 16 bytes.
std::string randomBase64(int bytes) { return base64_encode(randomBytes(bytes)); }

} // namespace

Credentials::Credentials() = default;
Credentials::Credentials(const Credentials& other) = default;
Credentials& Credentials::operator=(const Credentials& other) = default;
Credentials::~Credentials() { wipeSecrets(); }

std::string Credentials::getURN() const {
    LockScope lock(masterMutex);
    return loginURN;
}

std::string Credentials::getSignature() const {
    LockScope lock(masterMutex);
    return signature;
}

std::string Credentials::getPassword() const {
    LockScope lock(masterMutex);
    return password;
}

std::string Credentials::getChallenge() const {
    LockScope lock(masterMutex);
    return challenge;
}

std::string Credentials::getLoginSalt() const {
    LockScope lock(masterMutex);
    return loginSalt;
}

int32_t Credentials::getLoginRounds() const {
    LockScope lock(masterMutex);
    return loginRounds;
}

std::string Credentials::getSavedPrivateKey() const {
    LockScope lock(masterMutex);
    return savedPrivateKey;
}

void Credentials::reset() {
    LockScope lock(masterMutex);
    CREDENTIAL_TRACE("reset");
    wipeText(derivedKey);
    wipeText(loginToken);
    wipeText(loginTokenHash);
}

void Credentials::resetForMigration() {
    LockScope lock(masterMutex);
    wipeText(loginToken);
    wipeText(loginTokenHash);
}

void Credentials::wipeSecrets() {
    wipeText(password);
    savedPrivateKey.clear();
    wipeText(derivedKey);
    wipeText(loginToken);
    wipeText(loginTokenHash);
}

void Credentials::setPassword(const std::string& newPassword) {
    LockScope lock(masterMutex);
    if (newPassword == password) return;
    reset();
    password = newPassword;
    CREDENTIAL_TRACE("password = %s", password.c_str());
}

void Credentials::setParameters(const std::string& urn, const std::string& salt, int32_t rounds,
                                const std::string& newChallenge) {
    LockScope lock(masterMutex);
    if (urn != loginURN || salt != loginSalt || rounds != loginRounds) {
        reset();
        if (urn != loginURN) {
            CREDENTIAL_TRACE("URN Changing from '%s' to '%s'", loginURN.c_str(), urn.c_str());
            if (!savedPrivateKey.empty()) {
                CREDENTIAL_TRACE("Clearing savedPrivateKey");
                savedPrivateKey.clear();
            }
            if (!challenge.empty()) {
                CREDENTIAL_TRACE("Clearing challenge");
                challenge.clear();
            }
            if (!signature.empty()) {
                CREDENTIAL_TRACE("Clearing signature");
                signature.clear();
            }
        }
        loginURN = urn;
        loginSalt = salt;
        loginRounds = rounds;
        CREDENTIAL_TRACE("Setting salt='%s' rounds=%d", loginSalt.c_str(), loginRounds);
    }
    setChallenge(newChallenge);
}

void Credentials::setChallenge(const std::string& newChallenge) {
    LockScope lock(masterMutex);
    if (newChallenge == challenge) return;
    challenge = newChallenge;
    CREDENTIAL_TRACE("Set challenge = %s", challenge.c_str());
    updateSignature();
}

void Credentials::generateParameters(const std::string& urn, int32_t rounds) {
    LockScope lock(masterMutex);
    setParameters(urn, randomBase64(16), rounds, std::string());
}

void Credentials::copyToUser(User& user) const {
    LockScope lock(masterMutex);
    if (user.loginSalt == loginSalt && user.loginRounds == loginRounds) return;
    user.loginSalt = loginSalt;
    user.loginRounds = loginRounds;
    user.localDirty = true;
}

std::string Credentials::getKey() {
    LockScope lock(masterMutex);
    if (derivedKey.empty()) {
        if (password.empty())
            throw VxMetaException(VXMECAT_INTERNAL, "Cannot get credential key - password not set");
        if (loginSalt.empty())
            throw VxMetaException(VXMECAT_INTERNAL, "Cannot get credential key - login salt not set");
        if (loginRounds <= 0)
            throw VxMetaException(VXMECAT_INTERNAL, "Cannot get credential key - login rounds must be > 0");
        derivedKey = deriveKey(password, loginSalt, loginRounds);
    }
    return derivedKey;
}

std::string Credentials::deriveKey(const std::string& password, const std::string& salt, int32_t rounds) {
    // The round count comes from the service (a challenge, the login parameters) or the user record:
    // one bound with the password texts keeps a hostile or damaged count from holding a thread for hours.
    if (rounds > kMaxPasswordRounds)
        throw VxMetaException(VXMECAT_INTERNAL, "Cannot get credential key - login rounds must be <= " +
                                                    std::to_string(kMaxPasswordRounds));
    return PBKDF2_HMAC_SHA256(password, salt, rounds, 32);
}

bool Credentials::holdsKeyFor(const std::string& salt, int32_t rounds) const {
    LockScope lock(masterMutex);
    return !derivedKey.empty() && salt == loginSalt && rounds == loginRounds;
}

void Credentials::adoptKey(const std::string& fromPassword, const std::string& salt, int32_t rounds,
                           const std::string& key) {
    LockScope lock(masterMutex);
    if (!derivedKey.empty() || key.empty()) return;
    if (fromPassword != password || salt != loginSalt || rounds != loginRounds) return;
    derivedKey = key;
}

std::string Credentials::getLoginTokenHash(const std::string& publicKey) {
    LockScope lock(masterMutex);
    if (loginTokenHash.empty()) {
        if (loginSalt.empty())
            throw VxMetaException(VXMECAT_INTERNAL, "Credentials cannot compute token hash - loginSalt is not set");
        if (loginRounds == 0)
            throw VxMetaException(VXMECAT_INTERNAL, "Credentials cannot compute token hash - loginRounds is not set");
        if (loginURN.empty())
            throw VxMetaException(VXMECAT_INTERNAL, "Credentials cannot compute token hash - loginURN is not set");
        const std::string token = hmacsha(256, getKey(), loginSalt);
        loginToken = base64_encode(token);
        const std::string nonce = randomBase64(16);
        loginTokenHash = nonce + "-" + base64_encode(hmacsha(256, token, nonce + loginURN));
    }
    return publicKey.empty() ? loginTokenHash : RSAencrypt(loginTokenHash, publicKey);
}

std::string Credentials::getLoginToken(const std::string& publicKey) {
    LockScope lock(masterMutex);
    getLoginTokenHash(std::string());
    return publicKey.empty() ? loginToken : RSAencrypt(loginToken, publicKey);
}

bool Credentials::decryptPrivateKey(const std::string& encrypted, bool keepAsLoggedIn) {
    LockScope lock(masterMutex);
    if (encrypted.empty()) return false;
    std::string plain;
    if (encrypted.size() > 3 && startswith(encrypted, "V6")) {
        if (loginSalt.empty()) return false;
        plain = decrypt(AES(getKey()), encrypted);
    } else {
        plain = prikeyDecryptV2(encrypted, password);
    }
    try {
        readPrivateKey(plain);
    } catch (const VxMetaException&) {
        CREDENTIAL_TRACE("Decrypt private key FAILED");
        return false;
    }
    CREDENTIAL_TRACE("Decrypted private key OK");
    setSavedPrivateKey(plain);
    if (keepAsLoggedIn) setLoggedInPrivateKey(plain);
    return true;
}

void Credentials::setSavedPrivateKey(const std::string& privateKey) {
    LockScope lock(masterMutex);
    if (!(savedPrivateKey != privateKey)) return;
    savedPrivateKey = privateKey;
    if (privateKey.empty()) {
        CREDENTIAL_TRACE("Erased saved private key");
    } else {
        CREDENTIAL_TRACE("Updated saved private key");
    }
    updateSignature();
}

std::string Credentials::getSHash(const std::string& sidLocator) {
    const std::string key = getKey();
    const std::string seed = decrypt(AES(key), sidLocator);
    return "V2-" + urnsafe(base64_encode(hmacsha(256, key, seed)));
}

std::string Credentials::getSHash() {
    std::string locator;
    {
        LockScope lock(masterMutex);
        if (myUser) locator = myUser->sidLocator;
    }
    return getSHash(locator);
}

bool Credentials::savePrivateKey() {
    LockScope lock(masterMutex);
    const std::string loggedInKey = loggedInPrivateKey();
    if (!loggedInKey.empty()) {
        setSavedPrivateKey(loggedInKey);
        return true;
    }
    if (myUser && !myUser->sidLocator.empty()) {
        if (mySID && getSHash() == mySID->id) return decryptPrivateKey(mySID->prikey, true);
        return false;
    }
    return false;
}

void Credentials::acquirePrivateKey() {
    const std::string shash = getSHash();
    bool held = false;
    {
        LockScope lock(masterMutex);
        held = mySID && mySID->id == shash;
    }
    if (!held) {
        // The request goes without the master lock; the record it brings is checked first and
        // takes the place of the held one under the lock.
        CREDENTIAL_TRACE("Acquire private key - shash is different - finding");
        VCSR executor;
        const std::string body = executor.get(Fmt("sid/%s/", urlencode(shash)));
        auto fetched = std::make_shared<SID>();
        if (!fetched->fromJSON(body)) throw VxMetaException(VXMECAT_NOTFOUND, "SID is in invalid format");
        if (fetched->version != "V1" && fetched->version != "V2" && fetched->version != "V3")
            throw VxMetaException(VXMECAT_UPGRADE, "SID version is unexpected - upgrade required.");
        fetched->remoteDirty = false;
        LockScope lock(masterMutex);
        mySID = fetched;
        recoveryUpdateNeeded = true;
    }
    LockScope lock(masterMutex);
    CREDENTIAL_TRACE("Acquire private key - decrypting");
    const std::string encrypted = mySID ? mySID->prikey : std::string();
    if (!decryptPrivateKey(encrypted, true)) throw VxMetaException(VXMECAT_INTERNAL, "Unable to decrypt private key");
    setTdeAgentMode(myPID && startswith(myPID->urn, "TDEAgent_"));
}

void Credentials::updateSignature() {
    LockScope lock(masterMutex);
    if (!challenge.empty() && !savedPrivateKey.empty()) {
        const std::string fresh = signTextOther(challenge, savedPrivateKey);
        if (fresh != signature) {
            signature = fresh;
            CREDENTIAL_TRACE("Signature set to %s", signature.c_str());
        }
        if (myPID && !myPID->pubkey.empty() && !verifyMyText(challenge, signature))
            throw VxMetaException(VXMECAT_INTERNAL,
                                  "Credentials savePrivateKey - signed challenge did not pass round trip test");
    } else if (!signature.empty()) {
        signature.clear();
        CREDENTIAL_TRACE("Signature cleared");
    }
}

} // namespace VxMeta
