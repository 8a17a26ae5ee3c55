#include "vxmeta/accounts/login.h"

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/credentials.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/account_transfer.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/mfa_checkpoint.h"
#include "vxmeta/accounts/scope_login_changing.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/server_authorization.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/crypto/two_text_format.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/access_seam.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/login_parameters.h"
#include "vxmeta/records/login_reset_response.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/server_discovery.h"
#include "vxmeta/sync/state_processor.h"

namespace VxMeta {

namespace {

enum class Stage { Parameters, Transfer, Login };

std::string ownUrn() {
    LockScope lock(masterMutex);
    return myPID ? myPID->urn : std::string();
}

// Proves the password with "ua/login/" (once more with the reset the service answers when the
// credentials did not match) and takes the account's records from the reply.
void proveThePassword(Credentials& credentials, bool mfa) {
    const std::string urn = ownUrn();
    Action action(mfa);
    action.encodeDeviceAppPlatformInfo(urn);
    action.encode("urn", urn);
    action.encode(credentials);
    Json::Value reply = action.perform("ua/login/", true, false);
    if (!(reply.isObject() && reply["matched"].isBool() && reply["matched"].asBool())) {
        LoginResetResponse reset;
        reset.fromJSONValue(reply);
        credentials.setParameters(urn, reset.loginSalt, reset.loginRounds, reset.challenge);
        if (reset.challenge.empty())
            throw VxMetaException(VXMECAT_INTERNAL, "Login response is missing the challenge text");
        credentials.setChallenge(reset.challenge);
        if (credentials.getSignature().empty())
            throw VxMetaException(VXMECAT_INTERNAL, "Login unable to produce signature");
        action.encode(credentials);
        reply = action.perform("ua/login/", true, false);
    }
    auto pid = std::make_shared<PID>();
    auto user = std::make_shared<User>();
    pid->fromJSONValue(jsonMember(reply, "pid"));
    user->fromJSONValue(jsonMember(reply, "user"));
    {
        LockScope lock(masterMutex);
        pid->remoteDirty = false;
        user->remoteDirty = false;
        myPID->copyUpdate(*pid);
        myUser->copyUpdate(*user);
    }
    updateOnlineTime(false);
    credentials.acquirePrivateKey();
    getFreshToken();
}

// The offline sign-in after a communication failure: the private key from the SID the device holds.
// Every step that may send a request or wait runs without the master lock.
void signInOffline(Credentials& credentials) {
    mfaCheckpoint(MFA_ACTION_LOGIN);
    checkAllAccess(true, false);
    checkRemoteDisabled();
    VXLOG(4, "Attempting offline login");
    credentials.acquirePrivateKey();
    if (!privateKeyIsSet()) throw VxMetaException(VXMECAT_INTERNAL, "Offline login failed for unknown reason");
    VXLOG(4, "Offline login passed");
}

// Whether an offline sign-in may stand in for the failed online one in the parameters stage: only
// for the address of the account the device holds (compared exactly) with its SID key.
bool offlineAllowedFor(const std::string& email) {
    LockScope lock(masterMutex);
    return myPID && mySID && email == myPID->email && !mySID->prikey.empty();
}

} // namespace

void login(const std::string& email, const std::string& password, bool mfa) {
    LockScope sync(syncMutex);
    ScopeLoginChanging marker;
    getMyClusterServers()->clearAccessTokens();
    checkDeviceAllowed();
    init();
    Credentials& credentials = globalState.credentials;
    credentials.setPassword(password);

    std::string storedUrn;
    std::string storedSalt;
    int32_t storedRounds = 0;
    bool stored = false;
    bool isolated = false;
    {
        LockScope lock(masterMutex);
        isolated = globalState.isolatedMode;
        stored = !myPID->urn.empty() && (isolated || myUser->id != 0);
        storedUrn = myPID->urn;
        storedSalt = myUser->loginSalt;
        storedRounds = myUser->loginRounds;
    }
    if (stored) {
        credentials.setParameters(storedUrn, storedSalt, storedRounds, credentials.getChallenge());
        credentials.savePrivateKey();
        if (isolated) {
            if (privateKeyIsSet()) return;
            throw VxMetaException(VXMECAT_PASSWORD, VXMEREASON_CREDENTIALS, VXMEREASON_CREDENTIALS);
        }
    }

    logout();
    {
        LockScope lock(masterMutex);
        credentials.recoveryUpdateNeeded = false;
    }

    Stage stage = Stage::Parameters;
    try {
        getLoginParameters(email, credentials, false);
        if (mustTransfer(credentials)) {
            stage = Stage::Transfer;
            transferAccount(email, mfa);
            getFreshToken();
            return;
        }
        stage = Stage::Login;
        proveThePassword(credentials, mfa);
    } catch (const VxMetaException& failure) {
        if (stage == Stage::Transfer) throw;
        if (failure.category == VXMECAT_COMMUNICATION_ERROR) {
            if (stage == Stage::Parameters && !offlineAllowedFor(email)) throw;
            signInOffline(credentials);
        } else if (failure.reason == VXMEREASON_CREDENTIALS) {
            bool named = true;
            {
                LockScope lock(masterMutex);
                named = !credentials.loginParameters.urn.empty();
            }
            if (stage == Stage::Parameters && !named) throw VxMetaException(VXMECAT_NOTFOUND, "unknown email");
            throw;
        } else {
            throw;
        }
    }

    marker.dispose();
    LockScope lock(masterMutex);
    StateProcessor pass(myAssets, myRights, myKeys, myFeatures);
    pass.runMaster();
}

bool getLoginParameters(const std::string& email, Credentials& credentials, bool migrating) {
    if (email.find('@') != std::string::npos) checkDomain(email);
    {
        LockScope lock(masterMutex);
        credentials.loginParameters.urn.clear();
    }
    const Json::Value reply = cacheLoginParameters.get("ua/loginParameters/" + querySuffix("email", email));
    LoginParameters parameters;
    parameters.fromJSONValue(reply);
    {
        LockScope lock(masterMutex);
        credentials.loginParameters = parameters;
    }

    if (!parameters.mdsPubkey.empty() && parameters.mdsPubkey != cmdsPubkey) {
        if (!verifyTextNoExceptions(parameters.mdsUrn, parameters.mdsSignature, parameters.mdsPubkey))
            throw VxMetaException(VXMECAT_UNAUTHORIZED_SERVER,
                                  "Server authorization failed - server urn signature is invalid");
        checkAuthorization(parameters.mdsPubkey, reply.get("mdsAuthorization", Json::Value()), email);
        setMdsPubkey(parameters.mdsPubkey);
        LockScope lock(masterMutex);
        if (myPersists && myPersists->cmdsPrefix != parameters.cmdsPrefix) {
            myPersists->cmdsPrefix = parameters.cmdsPrefix;
            myPersists->localDirty = true;
        }
    } else {
        setMdsPubkey(cmdsPubkey);
    }
    credentials.setParameters(parameters.urn, parameters.loginSalt, parameters.loginRounds, parameters.challenge);

    if (parameters.migrationRequired) {
        checkAuthorization(parameters.migrationServer.pubkey, parameters.migrationServer.authorization, email);
        if (migrating) return true;
        Action action;
        action.encodeDeviceAppPlatformInfo(parameters.urn);
        action.encode("email", email);
        action.encode("urn", parameters.urn);
        action.encode(credentials);
        action.perform("ua/checkMigrationCredentials/", true, false);
        throw VxMetaException(VXMECAT_MIGRATION_REQUIRED,
                              Fmt("Account %s must migrate to server %s", email, parameters.migrationServer.name));
    }
    if (migrating) {
        if (servicePublicKey() != cmdsPubkey)
            throw VxMetaException(VXMECAT_ALREADY_MIGRATED, Fmt("Account %s already migrated", email));
        throw VxMetaException(VXMECAT_CLIENT, Fmt("Account %s is not migrating", email));
    }
    return true;
}

bool mustTransfer(const Credentials& credentials) {
    LockScope lock(masterMutex);
    return myUser->id == 0 || myPID->email.empty() || myPID->urn.empty() || mySID->prikey.empty() ||
           credentials.getURN() != myPID->urn || credentials.getSignature().empty();
}

std::string getFreshToken() {
    VCSR executor;
    authenticateOnTheFly(executor);
    return getMyClusterServers()->getServerForUrl(executor.getPrefix())->getAccessToken();
}

bool privateKeyIsSet() {
    LockScope lock(masterMutex);
    return !globalState.myPrikey.empty();
}

} // namespace VxMeta
