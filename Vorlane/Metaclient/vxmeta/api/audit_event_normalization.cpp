#include "vxmeta/api/audit_event_normalization.h"

#include <json/writer.h>

#include "vxmeta/foundation/json.h"

namespace VxMeta {

namespace {

// The null value elide yields when there is nothing to work inside; reset on each use.
Json::Value& scratchNull() {
    thread_local Json::Value value;
    value = Json::Value();
    return value;
}

bool carriesNothing(const Json::Value& value) {
    switch (value.type()) {
    case Json::nullValue:
        return true;
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        return !value.getString(&begin, &end) || begin == end;
    }
    case Json::intValue:
        return value.asLargestInt() == 0;
    case Json::uintValue:
        return value.asLargestUInt() == 0;
    case Json::realValue:
        return value.asDouble() == 0.0;
    case Json::booleanValue:
        return !value.asBool();
    case Json::arrayValue:
    case Json::objectValue:
        return value.empty();
    }
    return false;
}

void cleanTrustMember(Json::Value& element, const char* name) {
    Json::Value& inner = elide(element, name);
    if (inner.isObject() && matches(inner, "code", 0)) element.removeMember(name);
}

} // namespace

bool has(const Json::Value& value, const char* name) { return value.isObject() && value.isMember(name); }

bool elidable(const Json::Value& value, const char* name) { return has(value, name) && carriesNothing(value[name]); }

Json::Value& elide(Json::Value& value, const char* name) {
    if (elidable(value, name)) {
        value.removeMember(name);
        return scratchNull();
    }
    if (has(value, name) && value[name].isObject()) return value[name];
    return scratchNull();
}

bool matches(const Json::Value& value, const char* name, int64_t number) {
    if (!has(value, name)) return false;
    const Json::Value& member = value[name];
    switch (member.type()) {
    case Json::intValue:
        return member.asLargestInt() == number;
    case Json::uintValue:
        return number >= 0 && member.asLargestUInt() == static_cast<uint64_t>(number);
    case Json::realValue:
        return member.asDouble() == static_cast<double>(number);
    default:
        return false;
    }
}

void removeNull(Json::Value& value, const char* name) {
    if (has(value, name) && value[name].isNull()) value.removeMember(name);
}

void forEach(Json::Value& value, const char* name, const std::function<void(Json::Value&)>& function) {
    elide(value, name);
    if (!has(value, name) || !value[name].isArray()) return;
    for (Json::Value& element : value[name]) function(element);
}

void cleanTrust(Json::Value& element) { cleanTrustMember(element, "trust"); }

void elideAllMembers(Json::Value& value) {
    if (!value.isObject()) return;
    for (const std::string& name : value.getMemberNames()) {
        elide(value, name.c_str());
        if (has(value, name.c_str()) && value[name].isObject()) elideAllMembers(value[name]);
    }
    for (const std::string& name : value.getMemberNames()) elide(value, name.c_str());
}

void normalizeDSIEntry(Json::Value& entry, int mode) {
    if (!entry.isObject()) return;
    if (entry.isMember("authentication")) {
        entry["signature"] = entry["authentication"];
        entry.removeMember("authentication");
    }
    removeNull(entry, "modified");
    removeNull(entry, "size");
    if (mode != 0) return;

    cleanTrustMember(entry, "status");
    forEach(entry, "contingency_keys", cleanTrust);
    forEach(entry, "signature", cleanTrust);

    Json::Value& encryption = elide(entry, "encryption");
    if (encryption.isObject()) {
        forEach(encryption, "encrypted_for", cleanTrust);
        Json::Value& kms = elide(encryption, "kms");
        if (kms.isObject() && elidable(kms, "data")) encryption.removeMember("kms");
        if (has(encryption, "kms")) forEach(encryption["kms"], "orvanel", elideAllMembers);
    }

    if (has(entry, "user_encryption")) {
        Json::Value& userEncryption = entry["user_encryption"];
        forEach(userEncryption, "x509", cleanTrust);
        forEach(userEncryption, "pgp", cleanTrust);
        elide(userEncryption, "orvanel");
        elide(userEncryption, "passphrase");
        elide(entry, "user_encryption");
    }

    for (const char* name : {"fips", "fne", "item", "item_id"}) elide(entry, name);
}

std::string DSI(const std::string& text) {
    Json::Value value = parseJson(text);
    normalizeDSIEntry(value, 0);
    return value.toStyledString();
}

} // namespace VxMeta
