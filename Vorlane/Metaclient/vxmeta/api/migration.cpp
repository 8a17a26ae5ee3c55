// The migration of an account from the key server it lives on to the one its login parameters name:
// the server it leaves produces the account's records (proved with the login token), the client
// adds its secret identity and hands everything, with its secrets wrapped for the new server's key,
// to the new server, which takes the account over. The library is then emptied: the user signs in
// again on the new server. A failure after the produce step puts the client back on the server it
// started from, with that server's key.
#include "vxmeta/access/credentials.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/account_transfer.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/last_check_domain.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/login_parameters.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

// The account's records from the server it leaves, taken over; the private key opened with the
// password (the secret identity may be fetched: without the master lock). The reply, with the
// secret identity's server form added as "sid".
Json::Value produceMigrationBlob(const std::string& email, Credentials& credentials, bool mfa) {
    std::string ownerUrn;
    {
        LockScope lock(masterMutex);
        ownerUrn = myPID->urn;
    }
    Action produce(mfa);
    produce.encodeDeviceAppPlatformInfo(ownerUrn);
    produce.encode("loginToken", credentials.getLoginToken(cmdsPubkey));
    produce.encode("email", email);
    Json::Value blob = produce.perform("ua/produceMigrationBlob", false, false);
    takeOverAccount(blob, credentials, false);
    LockScope lock(masterMutex);
    blob["sid"] = mySID->toJSONValue(true);
    return blob;
}

// The new server takes the account: the produced records, this device, and the passwords, login
// token and token hash wrapped for the new server's key.
void consumeMigrationBlob(const Json::Value& blob, const std::string& email, const std::string& password,
                          const std::string& accountPassword, const std::string& serverKey,
                          Credentials& credentials, bool mfa) {
    Action consume(mfa);
    for (const std::string& name : blob.getMemberNames()) consume.encode(name, blob[name]);
    consume.encodeDeviceAppPlatformInfo(std::string());
    consume.encode("email", email);
    consume.encode("password", encryptMasterKey(password, serverKey));
    consume.encode("accountPassword", encryptMasterKey(accountPassword, serverKey));
    consume.encode("loginToken", credentials.getLoginToken(serverKey));
    consume.encode("loginTokenHash", credentials.getLoginTokenHash(serverKey));
    consume.perform("ua/consumeMigrationBlob", false, false);
}

} // namespace

void RawVorlane::migrate(const std::string& email, const std::string& password, const std::string& accountPassword,
                         bool mfa) {
    // The exchanges run without the master lock; the sync lock keeps other operations out.
    LockScope sync(syncMutex);
    lastCheckDomain.clear();
    Credentials credentials;
    credentials.setPassword(password);
    getLoginParameters(email, credentials, true);
    Server target;
    {
        LockScope lock(masterMutex);
        target = credentials.loginParameters.migrationServer;
    }
    const Json::Value blob = produceMigrationBlob(email, credentials, mfa);

    std::string home;
    std::string homeKey;
    {
        LockScope lock(masterMutex);
        home = getPrefix();
        homeKey = globalState.mdsPubkey;
    }
    try {
        if (target.url.empty())
            throw VxMetaException(VXMECAT_PROTOCOL, "Migration server url is blank - don't know where to go");
        {
            LockScope lock(masterMutex);
            setMdsPubkey(target.pubkey);
            getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::Url::newInstance(target.url, ""));
        }
        credentials.resetForMigration();
        consumeMigrationBlob(blob, email, password, accountPassword, target.pubkey, credentials, mfa);
        mdClearAll(false);
    } catch (...) {
        // Back to the server the account was on, with its own key (the built-in one only when it
        // had that key).
        setMds(home, homeKey);
        throw;
    }
}

} // namespace VxMeta
