#include "vxmeta/foundation/globals.h"

#include "vxmeta/foundation/constants.h"

// The globals of this file are built in the order written here and destroyed in the reverse order.
namespace VxMeta {

const std::string emptyString;

std::string appName;
std::string appVersion;
std::set<std::string> appCapabilities;
std::string deviceName;
std::string platformType;
std::string platformVersion;
std::string platformSubtype;
std::string terminal_name;
std::string terminal_extra;
std::set<std::string> setForScopes;
std::set<std::string> knownFeatures;
std::set<std::string> mfaCapableVerificationKinds;
std::set<std::string> mfaCapableCreationKinds;

std::atomic<bool> didInit{false};

const std::string cmdsPubkey =
    "V2-MIIBCgKCAQEAu0kQvejxH+dnksScJuHzET3viJuTDSCwoDjzk9aZpRmCvc0lcLB0bkrvbAonWJAZj"
    "LNiyYyYN7LJJjlhT8Q/AR+M/lONjI/pkg9T4Rl7j2ETutPrVl+5wZJVFWxtP2FzYFsfvJa/ccfVwHYkl"
    "Tbs6sOXCi77uyMoUemOSzKG5NcR64f0NOKX5FFH7wJAdw0skbKttt71S7520QoD/OYvZ634xi263h5VS"
    "RHM67b+n1R5Z0YVRTFg4U6z453Cho6ISfM1e+CpE/w1gXxvp+40jqKljCKzQ+7rNf9SJtgFPlqXeqtfg"
    "DL65KQBbfv5S9W6Bk7AQ5WM9MwhIpBfaDzTzQIDAQAB";

std::set<std::string> compatibilities;

std::atomic<NetAppCallback> netAppCallback{nullptr};
std::atomic<LaunchBrowserCallback> launchBrowserCallback{nullptr};

std::vector<VxMetaException> syncProblems;
std::mutex syncProblemsMutex;

CacheOneLookup<std::string, std::string> remoteDisabledCache(900);
CacheOneLookup<std::string, std::shared_ptr<XPID>> lastUserLookup(2);

std::atomic<int64_t> lastOnlineTime{0};
std::atomic<int> netErrorCounter{0};
std::atomic<bool> clogEnabled{false};

const std::vector<std::string> MFA_ACTIONS{MFA_ACTION_LOGIN, MFA_ACTION_ENCRYPT, MFA_ACTION_DECRYPT};

} // namespace VxMeta
