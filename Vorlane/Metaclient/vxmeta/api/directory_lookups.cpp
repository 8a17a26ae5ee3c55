// Other users' identities: the dataset's directory records, the directory search by e-mail address
// and the recipient-key look-up, which answers from the dataset where it can and asks the service
// for the rest, checking the service's signature over its reply and every identity's own.
#include <cstdint>
#include <unordered_set>
#include <utility>

#include <json/value.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/data_memo_processor.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

// The longest query value of one directory search, before URL encoding.
constexpr size_t kMaxSearchLength = 1024;
// A data-memo pass older than this refreshes the dataset's identities before they are used.
constexpr int64_t kMemoPassAge = 3600;

using RecipientMap = std::map<std::string, std::vector<std::shared_ptr<XPID>>>;

[[noreturn]] void invalidReply(const char* message) { throw VxMetaException(VXMECAT_PROTOCOL, message); }

bool isVerified(const XPID& identity) {
    LockScope lock(masterMutex);
    return identity.verified == 1;
}

std::string urnOf(const XPID& identity) {
    LockScope lock(masterMutex);
    return identity.urn;
}

// Under the master lock: the dataset's checked identities of the input addresses, in list order.
std::vector<std::pair<std::string, std::shared_ptr<XPID>>>
heldIdentities(const std::unordered_set<std::string>& emails) {
    LockScope lock(masterMutex);
    std::vector<std::pair<std::string, std::shared_ptr<XPID>>> held;
    if (!myXPIDs) return held;
    for (const std::shared_ptr<XPID>& identity : *myXPIDs) {
        if (!identity || identity->verified != 1 || identity->email.empty()) continue;
        if (emails.count(identity->email)) held.emplace_back(identity->email, identity);
    }
    return held;
}

// Under the master lock: the dataset's identity of the same URN takes the checked one over, or the
// checked one joins the dataset.
void keepIdentity(const std::shared_ptr<XPID>& identity) {
    LockScope lock(masterMutex);
    if (const std::shared_ptr<XPID> held = searchURN(myXPIDs, identity->urn)) {
        XPID fresh = *identity;
        held->copyUpdate(fresh);
    } else {
        myXPIDs->push_back(identity);
    }
}

// One identity of a reply: read, checked, kept; what cannot be read or checked is logged and left out.
void takeIdentity(const Json::Value& form, std::vector<std::shared_ptr<XPID>>& entry) {
    auto identity = std::make_shared<XPID>();
    bool read = false;
    try {
        read = form.isObject() && identity->update(form);
    } catch (const VxMetaException&) {
        read = false;
    }
    if (!read) {
        VXLOG(2, "invalid xpid data - %s", jsonString(form).c_str());
        return;
    }
    // Without the master lock: an identity that does not verify is read again from the service.
    checkSignature(*identity);
    if (!isVerified(*identity)) {
        VXLOG(2, "invalid xpid signature for urn=%s", urnOf(*identity).c_str());
        return;
    }
    keepIdentity(identity);
    entry.push_back(identity);
}

// Sends one batch and takes what the checked reply holds for the asked addresses into the map.
void askService(const std::vector<std::string>& batch, const std::unordered_set<std::string>& asked,
                RecipientMap& found) {
    Json::Value body(Json::objectValue);
    Json::Value& emails = body["emails"] = Json::Value(Json::arrayValue);
    for (const std::string& email : batch) emails.append(email);
    const Json::Value reply = parseJson(VCSR().post("aa/LookupEmailRecipientKeys", jsonString(body)));

    if (!reply.isObject()) invalidReply("Response invalid (response not a json object)");
    if (!reply.isMember("signature")) invalidReply("Response invalid (signature is missing)");
    if (!reply["signature"].isString()) invalidReply("Response invalid (signature is not a valid type)");
    Json::Value signedPart = reply;
    signedPart.removeMember("signature");
    std::string serviceKey;
    {
        LockScope lock(masterMutex);
        serviceKey = globalState.mdsPubkey;
    }
    if (!verifyTextNoExceptions(jsonString(signedPart), reply["signature"].asString(), serviceKey))
        invalidReply("Invalid signature");
    const Json::Value& results = reply["results"];
    if (!results.isArray()) invalidReply("Response invalid (results not an array)");

    for (const Json::Value& result : results) {
        if (!result.isObject()) invalidReply("Response invalid (result not a json object)");
        if (!result.isMember("email")) invalidReply("Response invalid (result email is missing)");
        if (!result["email"].isString()) invalidReply("Response invalid (result email not a valid type)");
        const std::string email = result["email"].asString();
        const Json::Value& xpids = result["xpids"];
        if (!asked.count(email) || xpids.isNull() || (xpids.isArray() && xpids.empty())) continue;
        if (!xpids.isArray()) invalidReply("Response invalid (result xpids not a valid type)");
        std::vector<std::shared_ptr<XPID>>& entry = found[email];
        for (const Json::Value& form : xpids) {
            try {
                takeIdentity(form, entry);
            } catch (const VxMetaException& e) {
                VXLOG(2, "%s", e.message.c_str());
            }
        }
    }
}

} // namespace

RecordListPtr<XPID> RawVorlane::getXPIDs() {
    VXLOG(4, "RawVorlane::getXPIDs entered");
    return copyViewList(getMyXPIDs());
}

RecordListPtr<XPID> RawVorlane::lookupUsers(std::vector<std::string> emails) {
    auto kept = std::make_shared<RecordList<XPID>>();
    std::unordered_set<int64_t> seen;
    const auto search = [&](const std::string& batch) {
        const RecordListPtr<XPID> answered = XPID::query("emails", batch);
        for (const std::shared_ptr<XPID>& identity : *answered)
            if (identity && seen.insert(identity->id).second) kept->push_back(identity);
    };
    std::string batch;
    bool open = false;
    for (const std::string& email : emails) {
        if (!open) {
            batch = email;
            open = true;
        } else if (batch.size() + 1 + email.size() <= kMaxSearchLength) {
            batch += ",";
            batch += email;
        } else {
            search(batch);
            batch = email;
        }
    }
    if (open) search(batch);
    return copyViewList(kept);
}

RecipientMap RawVorlane::lookupEmailRecipientKeys(const std::unordered_set<std::string>& emails, bool cachedOnly) {
    LockScope sync(syncMutex);
    RecipientMap found;
    std::unordered_set<std::string> unanswered = emails;

    // The memo pass and the signature checks may send requests: both run without the master lock.
    bool memoPassDue = false;
    {
        LockScope lock(masterMutex);
        memoPassDue = nowSeconds() - globalState.lastMemoTime > kMemoPassAge;
    }
    if (memoPassDue) DataMemoProcessor().go();
    for (const auto& [email, identity] : heldIdentities(emails)) {
        checkSignature(*identity);
        if (isVerified(*identity)) {
            found[email] = {identity};
            unanswered.erase(email);
        } else {
            VXLOG(2, "invalid xpid signature for urn=%s", urnOf(*identity).c_str());
        }
    }
    if (cachedOnly || unanswered.empty()) return found;

    uint32_t limit = 0;
    {
        LockScope lock(masterMutex);
        limit = static_cast<uint32_t>(globalState.satellitePolicy.recipients_lookup_max);
    }
    std::vector<std::vector<std::string>> batches;
    std::vector<std::string> current;
    for (const std::string& email : unanswered) {
        found[email];
        if (current.size() >= limit) batches.push_back(std::exchange(current, {}));
        current.push_back(email);
    }
    if (!current.empty()) batches.push_back(std::move(current));
    for (const std::vector<std::string>& batch : batches) askService(batch, emails, found);
    return found;
}

} // namespace VxMeta
