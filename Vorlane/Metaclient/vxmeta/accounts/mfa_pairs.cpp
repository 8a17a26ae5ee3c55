#include "vxmeta/accounts/mfa_pairs.h"

#include <set>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/mfa_verification.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/mfa_pair.h"

namespace VxMeta {

std::vector<std::shared_ptr<MFAPair>> usableMfaPairs(const std::vector<std::shared_ptr<MFAPair>>& pairs,
                                                     const MfaPolicy& policy, bool includeDisabled) {
    LockScope lock(masterMutex);
    const std::set<std::string> allowed = policy.getAllowedKinds();
    std::vector<std::shared_ptr<MFAPair>> usable;
    for (const std::shared_ptr<MFAPair>& pair : pairs) {
        if (!pair) continue;
        if (mfaCapableVerificationKinds.count(pair->kind) == 0 || allowed.count(pair->kind) == 0) continue;
        if (!includeDisabled && !pair->enabled) continue;
        auto view = std::make_shared<MFAPair>();
        copyView(*view, *pair);
        usable.push_back(view);
    }
    return usable;
}

std::vector<std::shared_ptr<MFAPair>> usableMfaPairs(const MfaPolicy& policy, bool includeDisabled) {
    LockScope lock(masterMutex);
    static const RecordList<MFAPair> none;
    return usableMfaPairs(myMFAPairs ? *myMFAPairs : none, policy, includeDisabled);
}

bool addMfaPair(const std::shared_ptr<MFAPair>& pair, const MfaPolicy& policy) {
    if (!pair) return false;
    LockScope sync(syncMutex);
    // The checks may ask the service, so they run before the master lock is taken.
    checkAllAccess(true, true);
    LockScope master(masterMutex);
    const std::set<std::string> blacklist = policy.getCertificatePolicy().getBlacklist();
    const std::string associationValue = pair->associationValue;
    const bool certificate = pair->kind == MFA_KIND_CERTIFICATE;
    if (certificate && blacklist.count(associationValue) != 0) {
        VXLOG(5, "MFA pair=%s, blacklisted - skipping", associationValue.c_str());
        return false;
    }
    // Only a value identifies a factor: pairings without one (TOTP) are never the same pairing.
    if (!associationValue.empty() && myMFAPairs) {
        for (const std::shared_ptr<MFAPair>& held : *myMFAPairs) {
            if (held && held->associationValue == associationValue) {
                VXLOG(5, "MFA pair=%s, already added - skipping", associationValue.c_str());
                return true;
            }
        }
    }
    master.unlock();
    try {
        pair->sync();
    } catch (const VxMetaException& e) {
        if (e.reason == VXMEREASON_MFA_CERTIFICATE_INVALID && certificate) {
            policy.getCertificatePolicy().addToBlacklist(associationValue);
            VXLOG(5, "MFA pair=%s, server validation failed - %s", associationValue.c_str(), e.message.c_str());
        }
        return false;
    }
    master.lock();
    VXLOG(5, "MFA pair=%s, added", associationValue.c_str());
    if (!myMFAPairs) myMFAPairs = std::make_shared<RecordList<MFAPair>>();
    myMFAPairs->push_back(pair);
    return true;
}

std::shared_ptr<MFAPair> createMfaCertPair(const std::string& associationValue, const std::string& secret) {
    auto pair = std::make_shared<MFAPair>();
    pair->kind = MFA_KIND_CERTIFICATE;
    pair->enabled = true;
    pair->secret = secret;
    pair->associationValue = associationValue;
    return pair;
}

std::string getManageMfaUrl(bool addTotp) {
    LockScope sync(syncMutex);
    // A verification that this request sets off (an MFA retry) offers no remote TOTP creation.
    std::shared_ptr<ThreadScopedValue::ScopedValue_Auto<bool>> noRemoteCreation;
    auto totp = verificationKindDetailsMap.find(MFA_KIND_TOTP);
    if (totp != verificationKindDetailsMap.end()) noRemoteCreation = totp->second->launchCreateRemotely();
    Json::Value body(Json::objectValue);
    body["op"] = addTotp ? "MFAAddTOTP" : "MFASettings";
    VCSR executor;
    Json::Value reply;
    mayParse(executor.post("aa/endUserLogin", jsonString(body)), reply);
    if (reply.isObject() && !reply.empty() && reply.isMember("url")) {
        const Json::Value& url = static_cast<const Json::Value&>(reply)["url"];
        if (url.isString()) return url.asString();
    }
    throw VxMetaException(VXMECAT_PROTOCOL, "Missing/Malformed response data");
}

void launchCreateTotpPairInBrowser() {
    const std::string url = getManageMfaUrl(false);
    LaunchBrowserCallback launch = launchBrowserCallback.load();
    if (!launch) throw VxMetaException(VXMECAT_CLIENT, Fmt("Callback to launch browser not set up. Go to %s manually.", url));
    launch(url);
}

} // namespace VxMeta
