// The device's and the application's records on the service, found or created after each sign-in,
// and the device record an account creation sends. The look-ups and sends run without the master
// lock; what they bring back is merged under it.
#include <json/value.h>

#include "vxmeta/api/application_record.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/api/recovery_material.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

bool userIsManaged() { return myUser && myUser->isManagedAccount; }

// A record whose id says the service knows it, but under another identity than the PID.
template <class T>
bool ownedByAnother(const T& record, const PID& pid) {
    return record.id > 0 && (record.owner != pid.urn || (record.ownerid > 0 && record.ownerid != pid.id));
}

} // namespace

void RawVorlane::autoMapDevice() {
    std::shared_ptr<Device> device;
    std::string givenName;
    std::string givenGuid;
    bool lookUp = false;
    {
        LockScope lock(masterMutex);
        device = getMyDevice();
        if (ownedByAnother(*device, *myPID)) {
            // The stored device was another account's: start over, without that account's recovery
            // data.
            Device empty;
            device->copyUpdate(empty);
            device->recovery_cipher.clear();
            globalState.credentials.recoveryUpdateNeeded = !userIsManaged();
        }
        givenName = givenDeviceName;
        givenGuid = givenDeviceGuid;
        lookUp = device->id == 0 && !globalState.isolatedMode;
    }
    if (givenName.empty() && givenGuid.empty()) return;

    if (lookUp) {
        const RecordListPtr<Device> listed = Device::queryAll();
        LockScope lock(masterMutex);
        std::shared_ptr<Device> found;
        if (!givenGuid.empty())
            for (const std::shared_ptr<Device>& candidate : *listed)
                if (candidate->urn == givenGuid) {
                    found = candidate;
                    break;
                }
        if (!found && !givenName.empty())
            for (const std::shared_ptr<Device>& candidate : *listed)
                if (candidate->platform_type == platformType && candidate->name == givenName) {
                    found = candidate;
                    break;
                }
        if (found) device->copyUpdate(*found);
        if (device->id > 0) {
            globalState.credentials.recoveryUpdateNeeded = !userIsManaged();
            if (!device->allow_access || device->owner_disabled) {
                mdClearAll(false);
                throw VxMetaException(VXMECAT_DEVICE_NOT_ALLOWED, "Access Denied - Device is disabled");
            }
        }
    }

    {
        LockScope lock(masterMutex);
        const std::string ownerUrn = myPID->urn;
        if (device->owner != ownerUrn) {
            device->owner = ownerUrn;
            device->changed();
        }
        if (!givenGuid.empty()) {
            if (device->urn != givenGuid) {
                device->urn = givenGuid;
                device->changed();
            }
        } else if (device->urn.empty()) {
            device->urn = generateSessionKey();
            device->changed();
        }
        if (!givenName.empty() && device->name != givenName) {
            device->name = givenName;
            device->changed();
        }
        if (device->app_name != appName || device->app_version != appVersion) {
            device->app_name = appName;
            device->app_version = appVersion;
            device->changed();
        }
        if (device->platform_type != platformType || device->platform_version != platformVersion ||
            device->platform_subtype != platformSubtype) {
            device->platform_type = platformType;
            device->platform_version = platformVersion;
            device->platform_subtype = platformSubtype;
            device->changed();
        }
        if (!device->remoteDirty || globalState.isolatedMode) return;
    }
    (void)device->trySync();
}

void RawVorlane::autoMapApp() {
    std::shared_ptr<App> app;
    std::shared_ptr<Device> device;
    bool lookUp = false;
    {
        LockScope lock(masterMutex);
        app = getMyApp();
        device = getMyDevice();
        if (ownedByAnother(*app, *myPID)) {
            App empty;
            app->copyUpdate(empty);
        }
        if (appName.empty() || appVersion.empty() || device->id == 0) return;
        lookUp = app->id == 0 && !globalState.isolatedMode;
    }

    if (lookUp) {
        RecordListPtr<App> listed;
        try {
            listed = App::queryCollect("app" + querySuffix("deviceid", device->idstr()));
        } catch (const VxMetaException&) {
            // Without a list the application is registered as new.
        }
        LockScope lock(masterMutex);
        if (listed)
            for (const std::shared_ptr<App>& candidate : *listed)
                if (candidate->name == appName) {
                    app->copyUpdate(*candidate);
                    break;
                }
    }

    {
        LockScope lock(masterMutex);
        if (app->owner != myPID->urn || app->ownerid != myPID->id) {
            app->owner = myPID->urn;
            app->ownerid = myPID->id;
            app->changed();
        }
        if (app->device != device->urn || app->deviceid != device->id) {
            app->device = device->urn;
            app->deviceid = device->id;
            app->changed();
        }
        Json::Value capabilities(Json::arrayValue);
        for (const std::string& capability : appCapabilities) capabilities.append(capability);
        if (app->name != appName || app->version != appVersion || app->capabilities != capabilities) {
            app->name = appName;
            app->version = appVersion;
            app->capabilities = capabilities;
            app->changed();
        }
        if (!app->remoteDirty || globalState.isolatedMode) return;
    }
    (void)app->trySync();
}

RawVorlane::Helper::Helper(RawVorlane& owner) : api(owner) {}

Device& RawVorlane::Helper::createDevice(const std::string& password) {
    newDevice = std::make_shared<Device>();
    LockScope lock(masterMutex);
    newDevice->urn = api.givenDeviceGuid.empty() ? generateSessionKey() : api.givenDeviceGuid;
    newDevice->name = api.givenDeviceName;
    newDevice->platform_type = platformType;
    newDevice->platform_version = platformVersion;
    newDevice->platform_subtype = platformSubtype;
    newDevice->app_name = appName;
    newDevice->app_version = appVersion;
    newDevice->recovery_code = newRecoveryCode();
    recoveryCipher = recoveryCipherOf(password, newDevice->recovery_code);
    return *newDevice;
}

void RawVorlane::Helper::postCreateDevice() {
    LockScope lock(masterMutex);
    myDevice->recovery_cipher = recoveryCipher;
    myDevice->localDirty = true;
}

} // namespace VxMeta
