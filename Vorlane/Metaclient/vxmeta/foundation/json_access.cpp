#include "vxmeta/foundation/json_access.h"

#include "vxmeta/foundation/exception.h"

namespace VxMeta {

namespace {

[[noreturn]] void wrongType(const char* what, const char* expected, const char* category) {
    throw VxMetaException(category, std::string("Unexpected JSON type for ") + what + " (expected " + expected + ")");
}

} // namespace

bool jsonHas(const Json::Value& value, const char* name) {
    if (!value.isObject()) return false;
    const Json::Value* member = value.find(name, name + std::char_traits<char>::length(name));
    return member != nullptr && !member->isNull();
}

const Json::Value& jsonMember(const Json::Value& value, const char* name, const char* category) {
    if (value.isNull()) return Json::Value::nullSingleton();
    if (!value.isObject()) wrongType("the container of member", "object", category);
    const Json::Value* member = value.find(name, name + std::char_traits<char>::length(name));
    return member ? *member : Json::Value::nullSingleton();
}

std::string asText(const Json::Value& value, const char* what, const char* category) {
    if (!value.isString()) wrongType(what, "text", category);
    return value.asString();
}

int64_t asInt(const Json::Value& value, const char* what, const char* category) {
    if (!value.isInt64()) wrongType(what, "integer", category);
    return value.asInt64();
}

bool asBool(const Json::Value& value, const char* what, const char* category) {
    if (!value.isBool()) wrongType(what, "boolean", category);
    return value.asBool();
}

const Json::Value& asObject(const Json::Value& value, const char* what, const char* category) {
    if (!value.isObject()) wrongType(what, "object", category);
    return value;
}

const Json::Value& asArray(const Json::Value& value, const char* what, const char* category) {
    if (!value.isArray()) wrongType(what, "array", category);
    return value;
}

std::string jsonText(const Json::Value& value, const char* name, const std::string& fallback, const char* category) {
    const Json::Value& member = jsonMember(value, name, category);
    return member.isNull() ? fallback : asText(member, name, category);
}

int64_t jsonInt(const Json::Value& value, const char* name, int64_t fallback, const char* category) {
    const Json::Value& member = jsonMember(value, name, category);
    return member.isNull() ? fallback : asInt(member, name, category);
}

double jsonDouble(const Json::Value& value, const char* name, double fallback, const char* category) {
    const Json::Value& member = jsonMember(value, name, category);
    if (member.isNull()) return fallback;
    if (!member.isNumeric()) wrongType(name, "number", category);
    return member.asDouble();
}

bool jsonBool(const Json::Value& value, const char* name, bool fallback, const char* category) {
    const Json::Value& member = jsonMember(value, name, category);
    return member.isNull() ? fallback : asBool(member, name, category);
}

const Json::Value& jsonObject(const Json::Value& value, const char* name, const char* category) {
    const Json::Value& member = jsonMember(value, name, category);
    return member.isNull() ? member : asObject(member, name, category);
}

const Json::Value& jsonArray(const Json::Value& value, const char* name, const char* category) {
    const Json::Value& member = jsonMember(value, name, category);
    return member.isNull() ? member : asArray(member, name, category);
}

} // namespace VxMeta
