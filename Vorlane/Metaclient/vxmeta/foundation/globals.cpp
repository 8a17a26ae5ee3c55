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

const std::string cmdsPubkey = cmdsPubkeyText;

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
std::atomic<bool> ignore_email_auth{false};

const std::vector<std::string> MFA_ACTIONS{MFA_ACTION_LOGIN, MFA_ACTION_ENCRYPT, MFA_ACTION_DECRYPT};

} // namespace VxMeta
