#include "vxmeta/api/stat_state.h"

#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

StatState statState;

Json::Value Day::toJSON() const {
    Json::Value details;
    for (const auto& [kind, counter] : counters) {
        for (const auto& [qualifier, value] : counter) {
            Json::Value item(Json::objectValue);
            item["kind"] = kind;
            if (!qualifier.empty()) item["qualifier"] = qualifier;
            item["value"] = Json::Int64(value);
            details.append(item);
        }
    }
    return details;
}

void Day::fromJSON(const Json::Value& details) {
    if (!details.isArray()) return;
    for (const Json::Value& item : details) {
        if (!item.isObject()) continue;
        counters[jsonText(item, "kind")][jsonText(item, "qualifier")] = jsonInt(item, "value");
    }
}

void serializeStats(SerialList& pairs, bool changedOnly) {
    LockScope lock(statState.lock);
    statState.savedDays.clear();
    for (auto& [date, day] : statState.days) {
        std::string name = "xstat-" + date;
        if (!changedOnly || day.dirty) {
            pairs.push_back(std::make_shared<Serial>(name, jsonString(day.toJSON()) + "\n"));
            day.dirty = false;
            if (changedOnly) statState.savedDays.push_back(date);
        }
        globalState.manifest.savedNames.insert(std::move(name));
    }
}

void restoreStat(const std::string& date, const std::string& value) {
    Json::Value details;
    if (!parse(value, details)) return;
    LockScope lock(statState.lock);
    statState.days[date].fromJSON(details);
}

void statsWereNotSaved() {
    LockScope lock(statState.lock);
    for (const std::string& date : statState.savedDays) {
        const auto found = statState.days.find(date);
        if (found != statState.days.end()) found->second.dirty = true;
    }
}

} // namespace VxMeta
