// Whether the account has been disabled on its home server: asked at most once per 900 s, and only
// after 900 s without contact with the service.
#include <string_view>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/state_access.h"
#include "vxmeta/records/user.h"

namespace VxMeta {

namespace {

constexpr int64_t kRemoteCheckSeconds = 900;

// A text member of a JSON object; nullopt-like false when absent or of another type.
bool textMember(const Json::Value& object, const char* name, std::string& out) {
    const Json::Value* member = object.find(name, name + std::char_traits<char>::length(name));
    if (!member || !member->isString()) return false;
    out = member->asString();
    return true;
}

// The service's signed record {"urn", "enabled"} says that this account is disabled.
bool signedDisabledRecord(const Json::Value& reply, const std::string& urn) {
    if (!reply.isObject() || !reply.isMember("record") || !reply.isMember("signature")) return false;
    std::string recordText;
    std::string signature;
    // A reply whose members are not texts is as unusable as any other.
    if (!textMember(reply, "record", recordText) || !textMember(reply, "signature", signature)) return false;
    if (!verifyTextNoExceptions(recordText, signature, servicePublicKey())) return false;
    Json::Value record;
    if (!mayParse(recordText, record) || !record.isObject()) return false;
    std::string recordUrn;
    if (!textMember(record, "urn", recordUrn) || recordUrn != urn) return false;
    static constexpr std::string_view enabledKey = "enabled";
    const Json::Value* enabled = record.find(enabledKey.data(), enabledKey.data() + enabledKey.size());
    return enabled && enabled->isBool() && !enabled->asBool();
}

void remoteDisabledCheck() {
    std::string urn;
    std::string server;
    {
        LockScope lock(masterMutex);
        if (myPID) urn = myPID->urn;
        if (myPersists) server = myPersists->cmdsPrefix;
    }
    TarvexProtocol::UrlPtr prefix =
        server.empty() ? VCSR::CMDS_URL : TarvexProtocol::Url::newInstance(server, std::string());
    // The check counts as made for the next 900 s, also when the request fails.
    remoteDisabledCache.set(urn, urn);
    VCSR executor;
    executor.setPrefix(prefix);
    Json::Value reply;
    mayParse(executor.get("ua/checkRemoteUserDisabled" + querySuffix("urn", urn)), reply);
    if (!signedDisabledRecord(reply, urn)) return;
    LockScope lock(masterMutex);
    if (!myPID || myPID->urn != urn) return;
    mdClearAll(false);
    myUser->allow_access = false;
    throw VxMetaException(VXMECAT_ACCOUNT_DISABLED, "Account has been disabled");
}

} // namespace

void checkRemoteDisabled() {
    std::string urn;
    {
        LockScope lock(masterMutex);
        if (!myUser || myUser->homeServer.empty()) return;
    }
    if (!beenOfflineFor(kRemoteCheckSeconds)) return;
    {
        LockScope lock(masterMutex);
        if (myPID) urn = myPID->urn;
        if (remoteDisabledCache.isValid(urn)) return;
    }
    try {
        HighAvailability(remoteDisabledCheck);
    } catch (const VxMetaException& failure) {
        if (failure.category != VXMECAT_COMMUNICATION_ERROR) throw;
    }
}

} // namespace VxMeta
