// A new account created from this device, and the questions the host asks about the account state.
// The creation starts from an empty dataset on the key server of the address; whatever fails after
// that empties the dataset again, so a failed creation never leaves keys that look signed in.
#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/account_info_generator.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/server_discovery.h"

namespace VxMeta {

void RawVorlane::createAccount(const std::string& email, const std::string& name, const std::string& password) {
    LockScope sync(syncMutex);
    Helper helper(*this);
    Device& newDevice = helper.createDevice(password);
    {
        LockScope lock(masterMutex);
        init();
        mdClearAll(true);
    }
    try {
        // The key server of the address; its look-up is a request, made without the master lock.
        checkDomain(email);

        AccountInfoGenerator generator(password, false, "");
        Action action;
        std::string serviceKey;
        {
            LockScope lock(masterMutex);
            generator.setMyPrikey();
            generator.pid.email = email;
            generator.pid.name = name;
            // Rendering the server form signs the new PID with the new private key.
            generator.pid.toJSONValue(true);
            if (!verifyTextNoExceptions(generator.pid.recordText, generator.pid.signature, generator.pid.pubkey))
                throw VxMetaException(VXMECAT_INTERNAL, "Can't verify own signature in PID");
            serviceKey = globalState.mdsPubkey;

            action.encodeDeviceAppPlatformInfo(generator.pid.urn);
            action.encode(generator.sid);
            action.encode(generator.pid);
            action.encode(generator.user);
            action.encode("loginToken", generator.getLoginToken(serviceKey));
            action.encode("loginTokenHash", generator.getLoginTokenHash(serviceKey));
            newDevice.owner = generator.pid.urn;
            newDevice.revision = 0;
            newDevice.changed();
            action.encode(newDevice);
        }

        const Json::Value reply = action.perform("ua/createAccount/", false, false);

        LockScope lock(masterMutex);
        const Json::Value& pidForm = jsonObject(reply, "pid");
        const Json::Value& sidForm = jsonObject(reply, "sid");
        const Json::Value& userForm = jsonObject(reply, "user");
        const Json::Value& deviceForm = jsonObject(reply, "device");
        myPID->update(pidForm);
        mySID->update(sidForm);
        myUser->update(userForm);
        globalState.homeServer = myUser->homeServer;
        myDevice->update(deviceForm);
        globalState.credentials = generator.getCredentials();
        helper.postCreateDevice();
    } catch (...) {
        mdClearAll(true);
        throw;
    }
}

void RawVorlane::logout() { VxMeta::logout(); }

bool RawVorlane::isLoggedIn() { return loggedIn(); }

bool RawVorlane::isManagedAccount() {
    LockScope lock(masterMutex);
    return myUser && myUser->isManagedAccount;
}

bool RawVorlane::shouldPersistCredentials() {
    LockScope lock(masterMutex);
    return globalState.satellitePolicy.persist_credentials;
}

bool RawVorlane::isAuthenticated() {
    LockScope lock(masterMutex);
    return myUser && myUser->authenticated;
}

} // namespace VxMeta
