// RawVorlane: the public API object of the client library. Constructing it starts the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vxmeta/foundation/exception.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class TeamData;

class RawVorlane {
public:
    // Starts the library (init).
    RawVorlane();

    // Under the master lock: the base URL of the server the cluster evaluator selects now.
    std::string getPrefix();
    // Under the sync lock: the synchronization problems kept so far, which are then forgotten.
    std::vector<VxMetaException> getSyncProblems();
    // The host could not keep the pairs of the last changes-only save: the next changes-only save
    // hands them out again (the persisted store's changesWereNotSaved).
    void changesWereNotSaved();

    // --- sign-in (account_sign_in.cpp, device_registration.cpp, password_recovery.cpp) ----------
    // Under the sync lock: the sign-in, then the device and application mapping, then the renewal
    // of the password-recovery data when the sign-in asked for it.
    void login(const std::string& email, const std::string& password, bool mfa);
    // Binds this device to its Device record on the service.
    void autoMapDevice();
    // Binds or creates this application's App record on this device.
    void autoMapApp();
    // Renews the device's password-recovery data for the password.
    void updatePasswordRecovery(const std::string& password);

    // --- managed and implicit accounts (managed_accounts.cpp) ----------------------------------
    // Whether the service manages the address's account (its login parameters, which may switch
    // the server).
    bool checkManagedAccount(const std::string& email);
    // Under the sync and master locks: the directory password in the master form for the service's
    // public key.
    std::string encryptAccountPassword(const std::string& password);
    // The managed sign-in with the directory password, wrapped for the key of the server that serves
    // the address.
    void loginManagedAccount(const std::string& email, const std::string& password, bool mfa);
    // The managed sign-in with a wrapped directory password: the service hands out the account's
    // password under a one-time key, and the sign-in proceeds with it. A refusal other than a
    // communication failure forgets the kept managed password; a communication failure keeps it.
    void loginManagedAccountEncPass(const std::string& email, const std::string& encryptedPassword, bool mfa);
    // On a device without a registered account, whether the service lets unmanaged accounts sign in;
    // true on a registered device (nothing asked).
    bool canUseUnmanagedAccount();
    // Under the sync lock: whether the service knows the operating-system user (a credentials
    // refusal is false); its address fills an empty PID address.
    bool checkImplicitAccount();
    // The sign-in of the operating-system user: the service hands out the account's password under
    // a one-time key. Fails with VXMECAT_NOT_MANAGED when it hands out none.
    void loginImplicitAccount(bool mfa);

    // --- satellite policy (satellite_policy_api.cpp) --------------------------------------------
    // The team data of the user's team: from the dataset while a user is logged in, else from the
    // service, merged into the dataset first. Views (copies of the shown members).
    RecordListPtr<TeamData> getSatellitePolicyForUser();
    // On a registered device getSatellitePolicyForUser, else the service's policy for no account.
    RecordListPtr<TeamData> getSatellitePolicy();

    // --- migration and server switches (migration.cpp, server_switches.cpp) --------------------
    // Moves the account to the server its login parameters name, then empties the library (the user
    // signs in again there). A failure after the account was produced returns the client to the
    // server it started from, with that server's public key, and is rethrown.
    void migrate(const std::string& email, const std::string& password, const std::string& accountPassword,
                 bool mfa);
    // Under the sync and master locks: the server at the prefix with the built-in service key.
    void switchToCentral(const std::string& prefix);
    // Under the sync lock: the server authorized for the domain or address; whether it is a
    // satellite.
    bool switchToDomain(const std::string& domainOrEmail);
    // Whether the service in use has a key other than the built-in one.
    bool isSatellite();
    // Under the master lock: the device record's "allow_access".
    bool isDeviceAllowed();
    // Under the master lock: false without a user owner, else the user record's "allow_access".
    bool isAccountAllowed();
    // The reply text of the authorized-server look-up for the domain or address.
    std::string getAuthorizedServer(const std::string& domainOrEmail);
    // The password the credentials hold (after a managed or implicit sign-in: the account's).
    std::string getPassword();
    // Whether the service has numbered the PID.
    bool isRegistered();

    std::string givenDeviceName;
    std::string givenDeviceGuid;
    uint64_t noticeSerial = 0;
};

} // namespace VxMeta
