#include "vxmeta/comm/mfa_header.h"

#include "vxmeta/comm/record_links.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

namespace {
Json::Value& storedTimestamp() {
    static Json::Value timestamp;
    return timestamp;
}
} // namespace

Json::Value mfaTimestamp() {
    LockScope scope(masterMutex);
    return storedTimestamp();
}

void setMfaTimestamp(const Json::Value& timestamp) {
    LockScope scope(masterMutex);
    storedTimestamp() = timestamp;
}

std::string getMfaHeader(const MfaHeaderFields& verification) {
    Json::Value header(Json::objectValue);
    {
        LockScope scope(masterMutex);
        header["protocol"] = 3;
        if (std::optional<int32_t> etag = userExpectedEtag()) header["etag"] = *etag;
        const Json::Value& timestamp = storedTimestamp();
        bool emptyContainer = (timestamp.isArray() || timestamp.isObject()) && timestamp.empty();
        if (!timestamp.isNull() && !emptyContainer) header["timestamp"] = timestamp;
        if (!verification.token.empty()) {
            header["token"] = verification.token;
            header["pairId"] = Json::Int64(verification.pairId);
            if (!verification.challenge.empty()) header["challenge"] = verification.challenge;
        }
        if (!verification.newPair.isNull()) header["newPair"] = verification.newPair;
        if (!mfaCapableVerificationKinds.empty()) {
            Json::Value kinds(Json::arrayValue);
            for (const std::string& kind : mfaCapableVerificationKinds) kinds.append(kind);
            header["capabilities"] = kinds;
        }
    }
    return jsonString(header);
}

} // namespace VxMeta
