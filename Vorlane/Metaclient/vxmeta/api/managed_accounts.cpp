// Managed accounts, whose password the organisation's directory keeps, and implicit accounts, which
// the service knows as the operating-system user: the service hands out the account's own password
// under a one-time key that only the client and the service know, and the sign-in proceeds with it.
#include <algorithm>
#include <string>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/monitored_safe_string.h"
#include "vxmeta/access/credentials.h"
#include "vxmeta/accounts/account_state.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/accounts/managed_account.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/server_authorization.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/server_discovery.h"

namespace VxMeta {

namespace {

// A one-time key: 32 random bytes, sent as the RSA text of their base64 form.
struct OneTimeKey {
    std::string bytes = randomBytes(32);
    ~OneTimeKey() { wipeText(bytes); }
    std::string wrappedFor(const std::string& publicKey) const { return RSAencrypt(base64_encode(bytes), publicKey); }
    // The account's password from its "V6-" or "V5-" text under this key.
    std::string open(const std::string& text) const { return decrypt(AES(bytes), text); }
};

void setManagedPassword(const std::string& encrypted) {
    LockScope lock(masterMutex);
    globalState.managedEncPass = encrypted;
}

// A GET of the executor whose reply must be a JSON object.
Json::Value getObject(VCSR& executor, const std::string& path) {
    Json::Value reply = parseJson(executor.get(path));
    asObject(reply, path.c_str());
    return reply;
}

} // namespace

bool RawVorlane::checkManagedAccount(const std::string& email) {
    Credentials scratch;
    getLoginParameters(email, scratch, false);
    LockScope lock(masterMutex);
    return scratch.loginParameters.accountIsManaged;
}

std::string RawVorlane::encryptAccountPassword(const std::string& password) {
    LockScope sync(syncMutex);
    LockScope lock(masterMutex);
    return encryptMasterKey(password, globalState.mdsPubkey);
}

void RawVorlane::loginManagedAccount(const std::string& email, const std::string& password, bool mfa) {
    // The password is wrapped for the key of the server that serves the address.
    checkDomain(email);
    loginManagedAccountEncPass(email, encryptAccountPassword(password), mfa);
}

void RawVorlane::loginManagedAccountEncPass(const std::string& email, const std::string& encryptedPassword,
                                            bool mfa) {
    LockScope sync(syncMutex);
    checkDeviceAllowed();
    {
        LockScope lock(masterMutex);
        if (eq(myPID->email, email) && myUser->isManagedAccount) globalState.managedEncPass = encryptedPassword;
    }
    checkDomain(email);
    std::string ownerUrn;
    {
        // Another account's device: the service registers it anew for this one.
        LockScope lock(masterMutex);
        if (!eq(myPID->email, email)) {
            myDevice->id = 0;
            myDevice->owner.clear();
            myDevice->ownerid = 0;
        }
        ownerUrn = myPID->urn;
    }
    const OneTimeKey key;
    Action action(mfa);
    action.encodeDeviceAppPlatformInfo(ownerUrn);
    action.encode("email", email);
    action.encode("key", key.wrappedFor(servicePublicKey()));
    action.encode("password", encryptedPassword);
    Json::Value reply;
    try {
        reply = action.perform("ua/loginManagedAccount", false, false);
    } catch (const VxMetaException& failure) {
        // A service that cannot be reached may still know the password: it is checked again later.
        if (failure.category != VXMECAT_COMMUNICATION_ERROR) setManagedPassword(std::string());
        throw;
    }
    const WipedText masterPassword(key.open(jsonText(reply, "masterPassword")));
    std::string signInEmail = jsonText(reply, "email");
    if (signInEmail.empty()) signInEmail = email;
    managedAccountCheckedOK(encryptedPassword);
    login(signInEmail, masterPassword.text, mfa);
    // A device that held another account started from an empty dataset, which forgot both.
    managedAccountCheckedOK(encryptedPassword);
}

bool RawVorlane::canUseUnmanagedAccount() {
    if (isRegistered()) return true;
    VCSR executor;
    executor.implicitAuth = true;
    return jsonBool(getObject(executor, "aa/userAuthorityInformation"), "canUseUnmanagedAccounts");
}

bool RawVorlane::checkImplicitAccount() {
    LockScope sync(syncMutex);
    try {
        VCSR executor;
        executor.useAccessToken = false;
        executor.implicitAuth = true;
        const Json::Value reply = getObject(executor, "ua/checkWinAuth");
        const std::string email = jsonText(reply, "email");
        LockScope lock(masterMutex);
        if (myPID->email.empty()) myPID->email = email;
        return true;
    } catch (const VxMetaException& failure) {
        if (failure.reason == VXMEREASON_CREDENTIALS) return false;
        throw;
    }
}

void RawVorlane::loginImplicitAccount(bool mfa) {
    checkDeviceAllowed();
    getMyClusterServers()->clearAccessTokens();
    setManagedPassword(std::string());

    VCSR executor;
    executor.useAccessToken = false;
    executor.implicitAuth = true;
    const Json::Value account = getObject(executor, "aa/loginImplicitAccount");
    auto pid = std::make_shared<PID>();
    pid->fromJSONValue(jsonMember(account, "pid"));
    const Json::Value& server = jsonObject(account, "server");
    const std::string serverKey = jsonText(server, "pubkey");
    checkAuthorization(serverKey, jsonMember(server, "authorization"), pid->email);
    const std::string email = pid->email;
    {
        LockScope lock(masterMutex);
        if (myPID->id == 0) myPID->copyUpdate(*pid);
    }

    const OneTimeKey key;
    const Json::Value handedOut =
        getObject(executor, "aa/masterPassword" + querySuffix("key", key.wrappedFor(serverKey)));
    const std::string wrapped = jsonText(handedOut, "masterPassword");
    if (wrapped.empty())
        throw VxMetaException(VXMECAT_NOT_MANAGED, "Account is not managed.", VXMEREASON_NOT_MANAGED);
    const WipedText masterPassword(key.open(wrapped));
    managedAccountCheckedOK(std::string());
    login(email, masterPassword.text, mfa);
    managedAccountCheckedOK(std::string());
}

} // namespace VxMeta
