// The device-based password recovery: the service keeps a recovery code per device, the device keeps
// the password encrypted under it. The code and the cipher always change together: a new code that
// could not be sent leaves the previous code and cipher in place.
#include <json/value.h>

#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/api/recovery_material.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

constexpr char kRecoveryDataMissing[] =
    "Password recovery is not possible from this device - the required local encrypted data is missing.";
// A recovery code is 32 bytes in base64: 44 characters.
constexpr size_t kShortestRecoveryCode = 43;

} // namespace

bool RawVorlane::canRecoveryBePerformed() {
    LockScope lock(masterMutex);
    return myDevice->id > 0 && !myDevice->urn.empty() && !myDevice->recovery_cipher.empty() &&
           !myUser->isManagedAccount;
}

void RawVorlane::requestRecoveryEmail(const std::string& email) {
    LockScope sync(syncMutex);
    if (!canRecoveryBePerformed()) throw VxMetaException(VXMECAT_CLIENT, kRecoveryDataMissing);
    Json::Value body(Json::objectValue);
    {
        LockScope lock(masterMutex);
        body["email"] = email.empty() ? myPID->email : email;
        body["device"] = myDevice->urn;
    }
    VCSR executor;
    executor.useAccessToken = false;
    executor.post("recovery", jsonString(body));
}

std::string RawVorlane::recoverPassword(const std::string& recoveryToken, bool /*mfa*/,
                                        const std::string& recoveryCipher) {
    std::string cipher = recoveryCipher;
    if (cipher.empty()) {
        LockScope lock(masterMutex);
        cipher = myDevice->recovery_cipher;
    }
    if (cipher.empty()) throw VxMetaException(VXMECAT_CLIENT, kRecoveryDataMissing);

    VCSR executor;
    executor.useAccessToken = false;
    executor.authorization = recoveryToken;
    Json::Value reply;
    if (!mayParse(executor.get("recovery"), reply) || !reply.isObject())
        throw VxMetaException(VXMECAT_INTERNAL, "Unable to parse recovery information from server");
    const Json::Value& code = reply["recovery_code"];
    const std::string recoveryCode = code.isString() ? code.asString() : std::string();
    if (recoveryCode.size() < kShortestRecoveryCode)
        throw VxMetaException(VXMECAT_CLIENT, "Password recovery is not possible - the recovery code is invalid");
    return passwordFromRecoveryCipher(cipher, recoveryCode);
}

void RawVorlane::updatePasswordRecovery(const std::string& password) {
    LockScope sync(syncMutex);
    std::shared_ptr<Device> device;
    std::string previousCode;
    std::string recoveryCode;
    {
        LockScope lock(masterMutex);
        if (myUser->isManagedAccount) {
            globalState.credentials.recoveryUpdateNeeded = false;
            return;
        }
        device = getMyDevice();
        if (!device || device->id <= 0) {
            VXLOG(2, "After login, unable to update password recovery data - missing device info");
            return;
        }
        VXLOG(3, "After login, updating password recovery data");
        previousCode = device->recovery_code;
        recoveryCode = newRecoveryCode();
        device->recovery_code = recoveryCode;
        device->remoteDirty = true;
    }
    // The new code goes to the service without the master lock held. Unless it arrived, the service
    // still holds the previous code, and the device keeps the cipher made under it.
    const auto keepPrevious = [&] {
        LockScope lock(masterMutex);
        device->recovery_code = previousCode;
        device->localDirty = true;
    };
    bool sent = false;
    try {
        sent = device->trySync();
    } catch (...) {
        // A server that is down: the failover loop runs the operation again.
        keepPrevious();
        throw;
    }
    if (!sent) return keepPrevious();
    LockScope lock(masterMutex);
    device->recovery_code = recoveryCode;
    device->recovery_cipher = recoveryCipherOf(password, recoveryCode);
    device->localDirty = true;
}

} // namespace VxMeta
