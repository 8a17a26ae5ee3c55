// Process-wide objects that exist from the moment the library is loaded: the host's identity,
// the built-in service key, the sync problems, caches, counters and host hooks.
// The locks live in lock_scope.h, the log settings in log.h, the last exchange in comm_log_entry.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "vxmeta/foundation/cache_one_lookup.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/version.h"

namespace VxMeta {

struct CommIO; // the transport record
class XPID;    // a directory record

extern const std::string emptyString;

// The host application and device, written by the host during start-up, before any request.
extern std::string appName;
extern std::string appVersion;
extern std::set<std::string> appCapabilities;
extern std::string deviceName;
extern std::string platformType;
extern std::string platformVersion;
extern std::string platformSubtype;
extern std::string terminal_name;
extern std::string terminal_extra;
extern std::set<std::string> setForScopes;
extern std::set<std::string> knownFeatures;
extern std::set<std::string> mfaCapableVerificationKinds;
extern std::set<std::string> mfaCapableCreationKinds;

// The one-time start has run.
extern std::atomic<bool> didInit;
// The built-in public key of the service ("V2-" RSA public key text); configuration of the deployment.
// The text is a constant, so objects built at load in other files (the state object) may read it.
inline constexpr char cmdsPubkeyText[] =
    "V2-MIIBCgKCAQEAu0kQvejxH+dnksScJuHzET3viJuTDSCwoDjzk9aZpRmCvc0lcLB0bkrvbAonWJAZj"
    "LNiyYyYN7LJJjlhT8Q/AR+M/lONjI/pkg9T4Rl7j2ETutPrVl+5wZJVFWxtP2FzYFsfvJa/ccfVwHYkl"
    "Tbs6sOXCi77uyMoUemOSzKG5NcR64f0NOKX5FFH7wJAdw0skbKttt71S7520QoD/OYvZ634xi263h5VS"
    "RHM67b+n1R5Z0YVRTFg4U6z453Cho6ISfM1e+CpE/w1gXxvp+40jqKljCKzQ+7rNf9SJtgFPlqXeqtfg"
    "DL65KQBbfv5S9W6Bk7AQ5WM9MwhIpBfaDzTzQIDAQAB";
extern const std::string cmdsPubkey;
// Allowed compatibility values of key features; filled by the one-time start.
extern std::set<std::string> compatibilities;

// The transport hook: takes a request's transport record and returns when the exchange has ended.
using NetAppCallback = void (*)(CommIO& io);
extern std::atomic<NetAppCallback> netAppCallback;
// Host hook that opens a page in a browser; nothing in this system sets it.
using LaunchBrowserCallback = void (*)(const std::string& address);
extern std::atomic<LaunchBrowserCallback> launchBrowserCallback;

// Non-fatal problems of a synchronization (at most 100); guarded by syncProblemsMutex, which is a
// leaf: appended under the master lock, read under the sync lock.
extern std::vector<VxMetaException> syncProblems;
extern std::mutex syncProblemsMutex;

extern CacheOneLookup<std::string, std::string> remoteDisabledCache; // account URN to reply, 900 s
extern CacheOneLookup<std::string, std::shared_ptr<XPID>> lastUserLookup; // e-mail to directory record, 2 s

// Last successful contact with the service, in seconds.
extern std::atomic<int64_t> lastOnlineTime;
// Consecutive transport errors.
extern std::atomic<int> netErrorCounter;
// Switches the credential trace lines; nothing in this system sets it.
extern std::atomic<bool> clogEnabled;
// Every synchronization takes the user as verified; nothing in this system sets it.
extern std::atomic<bool> ignore_email_auth;

// The MFA actions in the order the MFA policy reader walks them: login, encrypt, decrypt.
extern const std::vector<std::string> MFA_ACTIONS;

} // namespace VxMeta
