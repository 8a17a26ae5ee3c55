#include "vxmeta/api/application_status.h"

#include <utility>

#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"

namespace VxMeta {

ApplicationCompliance::ApplicationCompliance(std::string complianceQualifier, bool isCompliant, int protocolNumber,
                                             std::string complianceLevel, std::string complianceText)
    : qualifier(std::move(complianceQualifier)),
      compliance(isCompliant),
      protocol(protocolNumber),
      level(std::move(complianceLevel)),
      text(std::move(complianceText)) {}

ApplicationStatus::ApplicationStatus(std::string statusKind, std::string statusVersion, std::string statusRefurn)
    : kind(std::move(statusKind)), version(std::move(statusVersion)), refurn(std::move(statusRefurn)) {
    if (kind.empty()) throw VxMetaException(VXMECAT_CLIENT, "kind may not be empty");
}

void ApplicationStatus::update(const ApplicationCompliance& value, const Json::Value& newDetails) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    timestamp = nowSeconds();
    compliance = std::make_shared<ApplicationCompliance>(value);
    details = newDetails;
    reported = false;
}

void ApplicationStatus::update(const ApplicationCompliance& value, const std::string& newDetails) {
    Json::Value parsed;
    if (!parse(newDetails, parsed)) parsed = Json::Value();
    update(value, parsed);
}

void ApplicationStatus::markDirty() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    reported = false;
    lastSent = Json::Value();
}

Json::Value ApplicationStatus::getJson(bool markReported) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (reported || !compliance) return Json::Value();
    if (markReported) reported = true;
    Json::Value full(Json::objectValue);
    full["version"] = version;
    full["compliance"] = compliance->compliance;
    full["protocol"] = compliance->protocol;
    full["level"] = compliance->level;
    full["text"] = compliance->text;
    full["details"] = details;
    full["qualifier"] = compliance->qualifier;
    full["kind"] = kind;
    full["refurn"] = refurn;
    Json::Value entry = onlyChanges(lastSent, full);
    if (entry.isNull()) return entry;
    entry["qualifier"] = compliance->qualifier;
    entry["kind"] = kind;
    entry["refurn"] = refurn;
    entry["timestamp"] = Json::UInt64(static_cast<uint64_t>(timestamp));
    lastSent = join(lastSent, entry);
    return entry;
}

Json::Value onlyChanges(const Json::Value& older, const Json::Value& newer) {
    if (!older.isObject() || !newer.isObject()) return newer;
    Json::Value changes;
    for (const std::string& name : newer.getMemberNames()) {
        const Json::Value* before = older.find(name.data(), name.data() + name.size());
        if (before == nullptr || *before != newer[name]) changes[name] = newer[name];
    }
    return changes;
}

Json::Value join(const Json::Value& base, const Json::Value& additions) {
    Json::Value joined = base.isObject() ? base : Json::Value(Json::objectValue);
    if (additions.isObject())
        for (const std::string& name : additions.getMemberNames()) joined[name] = additions[name];
    return joined;
}

} // namespace VxMeta
