#include "vxmeta/sync/server_discovery.h"

#include <set>

#include <json/value.h>

#include "vxmeta/access/server_settings.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/last_check_domain.h"
#include "vxmeta/comm/server_authorization.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/two_text_format.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

namespace {

bool isNotFound(const VxMetaException& failure) {
    return failure.category == VXMECAT_NOTFOUND || failure.httpStatus == 404;
}

// What a switch changes: the selected server, the service key and the stored server prefixes.
struct ServerChoice {
    std::string base;
    std::string publicKey;
    std::string setPrefix;
    std::string cmdsPrefix;

    static ServerChoice current() {
        ServerChoice choice;
        choice.base = getMyClusterEvaluator()->getPrefix()->baseUrl;
        LockScope lock(masterMutex);
        choice.publicKey = servicePublicKey();
        if (myPersists) {
            choice.setPrefix = myPersists->setPrefix;
            choice.cmdsPrefix = myPersists->cmdsPrefix;
        }
        return choice;
    }

    void restore() const {
        LockScope lock(masterMutex);
        getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::Url::newInstance(base, ""));
        setMdsPubkey(publicKey);
        if (myPersists && (myPersists->setPrefix != setPrefix || myPersists->cmdsPrefix != cmdsPrefix)) {
            myPersists->setPrefix = setPrefix;
            myPersists->cmdsPrefix = cmdsPrefix;
            myPersists->localDirty = true;
        }
    }
};

// One server's answer for the value, acted on; `visited` holds the bases switched to so far.
void checkDomainOn(const std::string& value, std::set<std::string>& visited) {
    const std::string text = getAuthorizedServer(value);
    if (text.empty()) return;
    const Json::Value reply = parseJson(text);
    if (!reply.isObject() || !reply["pubkey"].isString() || reply["pubkey"].asString().empty()) {
        VXLOG(2, "The authorized server named for %s has no public key - reply ignored", value.c_str());
        return;
    }
    const std::string key = reply["pubkey"].asString();
    const std::string url = reply["url"].isString() ? reply["url"].asString() : std::string();
    if (key != cmdsPubkey && !startswith(value, "TDEAgent_"))
        checkAuthorization(key, reply.get("authorization", Json::Value()), value);

    const ServerChoice before = ServerChoice::current();
    setMdsPubkey(key);
    if (url.empty()) return;
    const std::string base = TarvexProtocol::Url::newInstance(url, "")->baseUrl;
    if (base == before.base) return;
    if (visited.count(base) != 0 || static_cast<int>(visited.size()) >= maxServerSwitches) {
        before.restore();
        throw VxMetaException(VXMECAT_PROTOCOL,
                              Fmt("Authorized servers for %s keep naming other servers - switch to %s refused", value,
                                  base));
    }
    visited.insert(base);
    setMds(base, key);
    try {
        HighAvailability([&] { checkDomainOn(value, visited); });
    } catch (...) {
        before.restore();
        throw;
    }
}

} // namespace

std::string getAuthorizedServer(const std::string& value) {
    const std::string path = "ua/getAuthorizedServer" + querySuffix("domain", value);
    VCSR executor;
    const TarvexProtocol::UrlPtr key = executor.getPrefix()->withApiPathAndQuery(path);
    {
        LockScope lock(masterMutex);
        if (lastCheckDomain.isValid(key)) return lastCheckDomain.value;
    }
    std::string text;
    try {
        text = executor.get(path);
    } catch (const VxMetaException& failure) {
        if (isNotFound(failure)) lastCheckDomain.set(key, std::string());
        throw;
    }
    lastCheckDomain.set(key, text);
    return text;
}

void checkDomain(const std::string& value) {
    std::set<std::string> visited;
    try {
        checkDomainOn(value, visited);
    } catch (const VxMetaException& failure) {
        if (!isNotFound(failure)) throw;
        setMdsPubkey(cmdsPubkey);
    }
}

} // namespace VxMeta
