// ApplicationStatus: one status that the host application registered under a kind and a reference
// URN, updated with a compliance value and details, and reported to the service with the
// synchronization: each report carries only the members that changed since the last one.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <json/value.h>

namespace VxMeta {

// The compliance value of one status update.
class ApplicationCompliance {
public:
    ApplicationCompliance(std::string qualifier, bool compliance, int protocol, std::string level, std::string text);

    std::string qualifier;
    bool compliance;
    int protocol;
    std::string level;
    std::string text;
};

class ApplicationStatus {
public:
    // An empty kind fails with VXMECAT_CLIENT "kind may not be empty".
    ApplicationStatus(std::string kind, std::string version, std::string refurn);

    // Records a new value (the time of the update, a copy of the compliance, the details); the next
    // report carries the members that differ from what was reported before.
    void update(const ApplicationCompliance& compliance, const Json::Value& details);
    // As above with the details as JSON text; a text that does not parse gives null details.
    void update(const ApplicationCompliance& compliance, const std::string& details);
    // The next report carries every member again.
    void markDirty();
    // The entry of a report: the members that changed since the last report plus "qualifier", "kind",
    // "refurn" and "timestamp"; null when nothing is new or no value was recorded yet. With
    // markReported, the status counts as reported afterwards.
    Json::Value getJson(bool markReported);

    const std::string kind;
    const std::string version;
    const std::string refurn;

private:
    std::recursive_mutex lock;
    bool reported = false;
    int64_t timestamp = 0;
    std::shared_ptr<ApplicationCompliance> compliance;
    Json::Value lastSent;
    Json::Value details;
};

// When both are objects: the members of newer that older lacks or holds with another value (null when
// there is none); otherwise a copy of newer.
Json::Value onlyChanges(const Json::Value& older, const Json::Value& newer);
// A copy of base with every member of additions set into it (additions win). A base that is not an
// object is replaced by an object; additions that are not an object add nothing.
Json::Value join(const Json::Value& base, const Json::Value& additions);

} // namespace VxMeta
