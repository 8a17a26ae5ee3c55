// Changes of the signed-in account (password, e-mail address, name), the e-mail verification
// request, the user's identity as the host reads it and the MFA entry points. Requests run without
// the master lock; what they change is taken over under it.
#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/account_info_generator.h"
#include "vxmeta/accounts/action.h"
#include "vxmeta/accounts/mfa_pairs.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/api/recovery_material.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/access_seam.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

void RawVorlane::changePassword(const std::string& oldPassword, const std::string& newPassword, bool /*mfa*/) {
    LockScope sync(syncMutex);
    const std::string recoveryCode = newRecoveryCode();
    const std::string recoveryCipher = recoveryCipherOf(newPassword, recoveryCode);
    const std::string expected = isManagedAccount() ? getPassword() : oldPassword;
    checkAllAccess(false, true);
    AccountInfoGenerator generator(newPassword, true, "");

    Action action;
    {
        LockScope lock(masterMutex);
        if (globalState.credentials.getPassword() != expected)
            throw VxMetaException(VXMECAT_PASSWORD, "Can't change password - old password is incorrect");
        const std::string serviceKey = globalState.mdsPubkey;
        action.encode(generator.sid);
        action.encode(generator.user);
        action.encode("loginToken", generator.getLoginToken(serviceKey));
        action.encode("loginTokenHash", generator.getLoginTokenHash(serviceKey));
        if (myDevice->urn.empty())
            throw VxMetaException(VXMECAT_CLIENT, "To change password with recoveryCode set, you must populate the device urn");
        action.encode("device", myDevice->urn);
        action.encode("recovery_code", recoveryCode);
    }

    const Json::Value reply = action.perform("aa/changePassword/", true, false);

    {
        LockScope lock(masterMutex);
        const Json::Value& userForm = jsonObject(reply, "user");
        const Json::Value& sidForm = jsonObject(reply, "sid");
        User user = *myUser;
        SID sid = *mySID;
        user.update(userForm);
        sid.update(sidForm);
        // Taken over only when both were read.
        *myUser = std::move(user);
        *mySID = std::move(sid);
        globalState.credentials = generator.getCredentials();
        incrementEtag();
        // The code the service now holds goes with the cipher made under it, so that a later PUT of
        // the device never brings the old code back.
        myDevice->recovery_code = recoveryCode;
        myDevice->recovery_cipher = recoveryCipher;
        myDevice->localDirty = true;
    }
}

namespace {

// The PID with one member changed: sent (unless in isolated mode), then taken over.
template <typename Change>
void changeIdentity(Change&& change) {
    LockScope sync(syncMutex);
    checkAllAccess(false, true);
    const std::shared_ptr<PID> copy = MLockClone(myPID);
    bool isolated = false;
    {
        LockScope lock(masterMutex);
        change(*copy);
        isolated = globalState.isolatedMode;
    }
    copy->changed();
    if (!isolated) copy->sync();
    myPID->copyUpdate(*copy);
}

} // namespace

void RawVorlane::changeEmail(const std::string& email, bool /*mfa*/) {
    changeIdentity([&](PID& pid) { pid.email = email; });
}

void RawVorlane::changeName(const std::string& name, bool /*mfa*/) {
    changeIdentity([&](PID& pid) { pid.name = name; });
}

void RawVorlane::requestEmailVerification() {
    LockScope sync(syncMutex);
    std::shared_ptr<User> user;
    {
        LockScope lock(masterMutex);
        user = myUser;
        user->email_pending = true;
    }
    user->put();
}

int64_t RawVorlane::getUserId() {
    LockScope lock(masterMutex);
    return myPID->id;
}

std::string RawVorlane::getUserURN() {
    LockScope lock(masterMutex);
    return myPID->urn;
}

std::string RawVorlane::getUserEmail() {
    LockScope lock(masterMutex);
    return myPID->email;
}

std::string RawVorlane::getUserName() {
    LockScope lock(masterMutex);
    return myPID->name;
}

int64_t RawVorlane::getUserETag() {
    LockScope lock(masterMutex);
    return static_cast<int64_t>(myUser->etag);
}

MfaPolicy RawVorlane::getMfaPolicy() {
    LockScope lock(masterMutex);
    globalState.mfaPolicy.checkValid();
    return globalState.mfaPolicy;
}

std::vector<std::shared_ptr<MFAPair>> RawVorlane::getMfaPairs() { return usableMfaPairs(getMfaPolicy(), true); }

bool RawVorlane::createMfaCertPair(const std::string& associationValue, const std::string& secret) {
    MfaPolicy policy;
    {
        LockScope lock(masterMutex);
        policy = globalState.mfaPolicy;
    }
    return addMfaPair(VxMeta::createMfaCertPair(associationValue, secret), policy);
}

void RawVorlane::setMfaVerificationCallback(MfaVerificationCallback::Function callback) {
    VxMeta::setMfaVerificationCallback(callback);
}

} // namespace VxMeta
