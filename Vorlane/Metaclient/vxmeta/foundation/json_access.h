// Checked reading of untrusted JSON (replies, stored values, archive metadata). A value of the
// wrong type is a VxMetaException of the caller's category, never an escaped JsonCpp exception.
// A member that is absent or null reads as the fallback.
#pragma once

#include <cstdint>
#include <string>

#include <json/value.h>

#include "vxmeta/foundation/constants.h"

namespace VxMeta {

// True when value is an object holding a non-null member of that name.
bool jsonHas(const Json::Value& value, const char* name);
// The member, or null when absent; value must be an object or null.
const Json::Value& jsonMember(const Json::Value& value, const char* name, const char* category = VXMECAT_PROTOCOL);

std::string jsonText(const Json::Value& value, const char* name, const std::string& fallback = std::string(),
                     const char* category = VXMECAT_PROTOCOL);
int64_t jsonInt(const Json::Value& value, const char* name, int64_t fallback = 0,
                const char* category = VXMECAT_PROTOCOL);
double jsonDouble(const Json::Value& value, const char* name, double fallback = 0,
                  const char* category = VXMECAT_PROTOCOL);
bool jsonBool(const Json::Value& value, const char* name, bool fallback = false,
              const char* category = VXMECAT_PROTOCOL);
// The member when it is an object (jsonObject) or an array (jsonArray); null when absent.
const Json::Value& jsonObject(const Json::Value& value, const char* name, const char* category = VXMECAT_PROTOCOL);
const Json::Value& jsonArray(const Json::Value& value, const char* name, const char* category = VXMECAT_PROTOCOL);

// Whole-value forms; `what` names the value in the failure message.
std::string asText(const Json::Value& value, const char* what, const char* category = VXMECAT_PROTOCOL);
int64_t asInt(const Json::Value& value, const char* what, const char* category = VXMECAT_PROTOCOL);
bool asBool(const Json::Value& value, const char* what, const char* category = VXMECAT_PROTOCOL);
const Json::Value& asObject(const Json::Value& value, const char* what, const char* category = VXMECAT_PROTOCOL);
const Json::Value& asArray(const Json::Value& value, const char* what, const char* category = VXMECAT_PROTOCOL);

} // namespace VxMeta
