#include "vxmeta/sync/site_documents.h"

#include <algorithm>
#include <limits>
#include <string>

#include <json/value.h>

#include "vxmeta/comm/site_data.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

// A 64-bit setting kept in a 32-bit member: clamped, never wrapped.
int32_t clampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The tag of a locker configuration, read before anything is stored: its "ltag", 0 when it has none
// (or is not a JSON object). A tag that is there but not an integer ("7" as text) cannot say which
// configuration this is; it is taken as the one the service announced, for which it was fetched, so
// that the next cycles do not ask for the same document again and again.
int32_t lockerTagOf(const Json::Value& config, int32_t announced) {
    if (!config.isObject() || !config.isMember("ltag")) return 0;
    try {
        return clampToInt32(asInt(config["ltag"], "ltag"));
    } catch (const VxMetaException& e) {
        VXLOG(2, "Received Locker Configuration with an unreadable ltag (%s); taken as %d", e.message.c_str(), announced);
        return announced;
    }
}

} // namespace

void fetchSiteData(int32_t expectedGtag) {
    VCSR executor;
    const std::string body = executor.get("ua/siteData");
    LockScope lock(masterMutex);
    Persists& persists = *myPersists;
    if (body == persists.siteData) return;
    Json::Value document = parseJson(body);
    const TarvexProtocol::SiteDataPtr site = TarvexProtocol::SiteData::fromJson(document);
    const std::string signature = jsonText(document, "signature");
    document.removeMember("signature");
    if (!verifyTextNoExceptions(jsonString(document), signature, globalState.mdsPubkey)) {
        VXLOG(1, "Received Site Data with invalid signature -- ignored");
        return;
    }
    persists.siteData = body;
    persists.localDirty = true;
    persists.gtag = site->gtag;
    persists.auditLogEnabled = site->auditLogEnabled;
    persists.auditLogArchiveNonEncrypted = site->auditLogArchiveNonEncrypted;
    persists.auditLogArchiveCopy = site->auditLogArchiveCopy;
    persists.auditLogTarget = clampToInt32(site->auditLogTarget);
    persists.auditLogToken = site->auditLogToken;
    persists.auditLogUrl = site->auditLogUrl;
    persists.pollingInterval = clampToInt32(site->pollingInterval);
    if (persists.gtag != static_cast<int64_t>(expectedGtag))
        VXLOG(2, "Received Site Data with gtag mismatch (expected %d, got %lld)", expectedGtag,
              static_cast<long long>(persists.gtag));
}

void fetchLockerConfig(int32_t expectedLtag) {
    std::string text = "{}";
    if (expectedLtag != 0) {
        std::string platform;
        {
            LockScope lock(masterMutex);
            if (myDevice) platform = myDevice->platform_type;
        }
        VCSR executor;
        text = executor.get(qualifySuffix("aa/archiveLockerConfig", "platform", platform));
    }
    LockScope lock(masterMutex);
    Persists& persists = *myPersists;
    const int32_t groupTag = myUser ? myUser->groupTag : 0;
    if (persists.lastGroupTag != groupTag) {
        persists.lastGroupTag = groupTag;
        persists.localDirty = true;
    }
    if (text == persists.lockerConfig) return;
    const int32_t ltag = lockerTagOf(parseJson(text), expectedLtag);
    persists.lockerConfig = text;
    persists.localDirty = true;
    persists.ltag = ltag;
    if (persists.ltag != expectedLtag)
        VXLOG(2, "Received Locker Configuration with ltag mismatch (expected %d, got %d)", expectedLtag, persists.ltag);
}

} // namespace VxMeta
